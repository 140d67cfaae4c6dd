#include "cli/cli_station.h"

#include "labels/cp1252.h"

#include <QStringDecoder>

#include <cstdio>
#include <iostream>
#include <string>

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
    const QByteArray linea = lineaDeCaja(texto, estilo, titulo).toUtf8() + '\n';
    std::fwrite(linea.constData(), 1, size_t(linea.size()), stderr);
    std::fflush(stderr);
    if ((estilo & 0x0F) != kSiNo)
        return kOk;
    std::string respuesta;
    if (!std::getline(std::cin, respuesta))
        return kNo;
    return esRespuestaSi(QByteArray::fromStdString(respuesta)) ? kSi : kNo;
}

void CliPrompts::beep() {
    std::fputs("beep\n", stderr);
    std::fflush(stderr);
}

} // namespace velmar
