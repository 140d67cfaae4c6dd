#include "cli/cli_station.h"

#include "epl2/cp1252.h"

#include <QStringDecoder>

namespace velmar {

QString lineaDeCaja(const QString& texto, int estilo, const QString& titulo) {
    QString t = texto;
    t.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    t.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QString::number(estilo) + QLatin1Char('\t') + titulo + QLatin1Char('\t') + t;
}

bool esRespuestaSi(const QByteArray& linea) {
    QStringDecoder utf8(QStringConverter::Utf8); // drops a leading BOM
    QString r = utf8.decode(linea);
    if (utf8.hasError())
        r = fromCp1252(linea);
    r = r.normalized(QString::NormalizationForm_C).trimmed().toLower();
    return r == QLatin1String("s") || r == QLatin1String("si") || r == QStringLiteral("sí");
}

int CliPrompts::mostrar(const QString& texto, int estilo, const QString& titulo) {
    io_.err.write(lineaDeCaja(texto, estilo, titulo).toUtf8() + '\n');
    if ((estilo & 0x0F) != kSiNo)
        return kOk;
    QByteArray respuesta = io_.in.readLine(); // empty at the end: No
    if (respuesta.endsWith('\n'))
        respuesta.chop(1);
    return esRespuestaSi(respuesta) ? kSi : kNo;
}

void CliPrompts::beep() {
    io_.err.write("beep\n");
}

} // namespace velmar
