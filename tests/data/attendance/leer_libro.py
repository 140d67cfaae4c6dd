# Debian's python3-openpyxl reads a workbook: each sheet (title, frozen cell,
# filter range), then each row: per cell its type, value, number format when
# not General, and * when bold.
import sys
import openpyxl
for ws in openpyxl.load_workbook(sys.argv[1]):
    print(ws.title, ws.freeze_panes, ws.auto_filter.ref)
    for row in ws.iter_rows():
        print(' | '.join(('*' if c.font.b else '') + ('' if c.value is None else c.data_type +
              repr(c.value) + ('' if c.number_format == 'General' else ' ' + c.number_format))
              for c in row).rstrip())
