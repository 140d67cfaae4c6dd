// The attendance export as a workbook the office opens as it is: texts stay
// texts (cédulas keep their leading zeros), dates and times are the
// spreadsheet's own, whatever its regional settings.

#include "attendance/attendance_rows.h"
#include "errors/errors.h"
#include "files/file_output.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <QTime>

#include <xlsxwriter.h>

namespace velmar {

namespace {

constexpr double kSegundosDia = 86400.0;

class Hoja {
public:
    Hoja(lxw_workbook* libro, const char* nombre, lxw_format* negrita)
        : hoja_(workbook_add_worksheet(libro, nombre))
        , negrita_(negrita) {}

    void encabezado(const QStringList& columnas, const QVector<double>& anchos) {
        for (int c = 0; c < columnas.size(); ++c) {
            texto(0, c, columnas[c], negrita_);
            worksheet_set_column(hoja_, lxw_col_t(c), lxw_col_t(c), anchos[c], nullptr);
        }
        worksheet_freeze_panes(hoja_, 1, 0);
        columnas_ = int(columnas.size());
    }
    // The filter spans the header and every row written.
    void filtrar(qsizetype filas) {
        worksheet_autofilter(hoja_, 0, 0, lxw_row_t(filas), lxw_col_t(columnas_ - 1));
    }
    // An empty text (a Null included) is an empty cell.
    void texto(qsizetype f, int c, const QString& v, lxw_format* formato = nullptr) {
        if (!v.isEmpty())
            error(worksheet_write_string(hoja_, lxw_row_t(f), lxw_col_t(c),
                                         sinFormula(v).toUtf8().constData(), formato));
    }
    void numero(qsizetype f, int c, double v, lxw_format* formato = nullptr) {
        error(worksheet_write_number(hoja_, lxw_row_t(f), lxw_col_t(c), v, formato));
    }
    lxw_error primerError() const { return error_; }

private:
    void error(lxw_error e) {
        if (error_ == LXW_NO_ERROR)
            error_ = e;
    }

    lxw_worksheet* hoja_;
    lxw_format* negrita_;
    int columnas_ = 0;
    lxw_error error_ = LXW_NO_ERROR;
};

lxw_format* formato(lxw_workbook* libro, const char* numero, bool negrita = false) {
    lxw_format* f = workbook_add_format(libro);
    if (numero)
        format_set_num_format(f, numero);
    if (negrita)
        format_set_bold(f);
    return f;
}

// The spreadsheet's day number (1900 date system) for a date it can show, or
// -1: it has none before 1900-03-01, where its calendar counts a day that
// never was.
double diaDeHoja(const QString& dia) {
    const QDate d = QDate::fromString(dia, QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid() || d < QDate(1900, 3, 1))
        return -1;
    return double(QDate(1899, 12, 30).daysTo(d));
}

double horaDeHoja(const QString& hora) {
    const QTime t = QTime::fromString(hora, QStringLiteral("hh:mm:ss"));
    return t.isValid() ? t.msecsSinceStartOfDay() / 1000 / kSegundosDia : -1;
}

struct Formatos {
    lxw_format *negrita, *comoTexto, *fecha, *hora, *duracion;
};

// Marcaciones: the CSV's columns, and the time present as a duration.
lxw_error hojaDeMarcaciones(lxw_workbook* libro, const Formatos& fm, const Asistencia& a) {
    Hoja marcaciones(libro, "Marcaciones", fm.negrita);
    marcaciones.encabezado({QStringLiteral("fecha"), QStringLiteral("cedula"),
                            QStringLiteral("apellidos"), QStringLiteral("nombres"),
                            QStringLiteral("entrada"), QStringLiteral("salida"),
                            QStringLiteral("segundos"), QStringLiteral("tiempo")},
                           {11, 14, 24, 24, 9, 9, 9, 8});
    qsizetype f = 0;
    for (const Fila& fila : a.filas) {
        ++f;
        const Persona& p = a.personas[fila.orden];
        if (const double d = diaDeHoja(a.textos[fila.dia]); d >= 0)
            marcaciones.numero(f, 0, d, fm.fecha);
        else
            marcaciones.texto(f, 0, a.textos[fila.dia]);
        marcaciones.texto(f, 1, p.cedula, fm.comoTexto);
        marcaciones.texto(f, 2, p.apellidos);
        marcaciones.texto(f, 3, p.nombres);
        for (const auto& [c, v] :
             {std::pair{4, a.textos[fila.entrada]}, std::pair{5, a.textos[fila.salida]}}) {
            if (const double h = horaDeHoja(v); h >= 0)
                marcaciones.numero(f, c, h, fm.hora);
            else
                marcaciones.texto(f, c, v);
        }
        if (fila.segundos) {
            marcaciones.numero(f, 6, double(*fila.segundos));
            marcaciones.numero(f, 7, double(*fila.segundos) / kSegundosDia, fm.duracion);
        }
    }
    marcaciones.filtrar(f);
    return marcaciones.primerError();
}

// Resumen: the report's summary, person by person.
lxw_error hojaDeResumen(lxw_workbook* libro, const Formatos& fm, const Asistencia& a) {
    Hoja resumen(libro, "Resumen", fm.negrita);
    resumen.encabezado({QStringLiteral("cedula"), QStringLiteral("apellidos"),
                        QStringLiteral("nombres"), QStringLiteral("dias"),
                        QStringLiteral("salidas"), QStringLiteral("segundos"),
                        QStringLiteral("tiempo")},
                       {14, 24, 24, 6, 8, 10, 8});
    qsizetype f = 0;
    for (const Resumen& r : resumir(a)) {
        ++f;
        const Persona& p = a.personas[r.orden];
        resumen.texto(f, 0, p.cedula, fm.comoTexto);
        resumen.texto(f, 1, p.apellidos);
        resumen.texto(f, 2, p.nombres);
        resumen.numero(f, 3, r.dias);
        resumen.numero(f, 4, r.salidas);
        resumen.numero(f, 5, double(r.segundos));
        resumen.numero(f, 6, r.segundos / kSegundosDia, fm.duracion);
    }
    resumen.filtrar(f);
    return resumen.primerError();
}

} // namespace

QString filasDeMas(qint64 filas) {
    // the header takes a row
    return filas >= qint64(LXW_ROW_MAX)
               ? QStringLiteral("una hoja admite %1 filas; exporte a CSV").arg(LXW_ROW_MAX - 1)
               : QString();
}

void escribirLibro(const Asistencia& a, const QString& archivo) {
    if (const QString deMas = filasDeMas(a.filas.size()); !deMas.isEmpty())
        throw FileError(deMas);
    // Assembled in a folder of its own, then written beside the target and
    // renamed over it like any export.
    QTemporaryDir carpeta;
    if (!carpeta.isValid())
        throw FileError(QStringLiteral("no se pudo crear una carpeta temporal para el libro (") +
                        carpeta.errorString() + QLatin1Char(')'));
    const QByteArray ruta = QFile::encodeName(carpeta.filePath(QStringLiteral("libro.xlsx")));
    const QByteArray tmp = QFile::encodeName(carpeta.path());
    lxw_workbook_options opciones{};
    opciones.tmpdir = const_cast<char*>(tmp.constData());
    lxw_workbook* libro = workbook_new_opt(ruta.constData(), &opciones);
    if (!libro)
        throw FileError(QStringLiteral("no se pudo crear el libro"));
    const Formatos fm{formato(libro, nullptr, true), formato(libro, "@"),
                      formato(libro, "yyyy-mm-dd"), formato(libro, "hh:mm:ss"),
                      formato(libro, "[h]:mm")};
    lxw_error e = hojaDeMarcaciones(libro, fm, a);
    if (const lxw_error r = hojaDeResumen(libro, fm, a); e == LXW_NO_ERROR)
        e = r;
    const lxw_error cerrado = workbook_close(libro);
    if (e == LXW_NO_ERROR)
        e = cerrado;
    if (e != LXW_NO_ERROR)
        throw FileError(QStringLiteral("no se pudo armar el libro (") +
                        QString::fromUtf8(lxw_strerror(e)) + QLatin1Char(')'));
    QFile hecho(QFile::decodeName(ruta));
    if (!hecho.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("no se pudo leer el libro armado"));
    escribirArchivo(archivo, hecho.readAll());
}

} // namespace velmar
