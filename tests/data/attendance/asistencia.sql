-- Two days of three people in range, a day before and the calendar's last: a
-- night shift past 24:00, an entry before 00:00, seconds without an exit and an
-- exit without seconds. Names a spreadsheet would run as a formula, split at a
-- line break or at its other separators.
insert into personal values (1, '1712345678', 'MARIA\tJOSE', 'GUAMAN;TIPAN'), (2, '0912345678', NULL, NULL), (3, '0501234567', '-ANA\r\nROJA', '=cmd|'' /C calc''!A0,"x"');
insert into control_asistencia (personal_id, fecha_entrada, hora_entrada, hora_salida, horas_dif) values (1, '2026-03-01', '07:00:00', NULL, NULL), (1, '2026-03-02', '07:05:10', '12:30:00', 19490), (2, '2026-03-02', '07:10:00', NULL, NULL), (3, '2026-03-02', '06:58:00', NULL, NULL), (3, '2026-03-03', '07:30:00', '09:00:00', 5400), (1, '2026-03-03', '07:00:00', NULL, 600), (2, '2026-03-03', '22:00:00', ADDTIME('22:00:00', '08:00:00'), 28800), (3, '2026-03-03', '-01:00:00', '06:00:00', NULL), (2, '9999-12-31', '07:00:00', NULL, NULL);
