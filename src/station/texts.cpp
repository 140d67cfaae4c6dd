#include "station/texts.h"

#include "db/record_set.h"

#include <QRegularExpression>
#include <QTime>

#include <cstdio>
#include <cstdlib>

namespace velmar {

QString horaDelDia(qint64 segundos) {
    if (segundos < 0 || segundos >= 86400) {
        // past the day or before it, as the server writes a TIME
        const qint64 a = std::llabs(segundos);
        char b[40];
        const int n =
            std::snprintf(b, sizeof b, "%s%02lld:%02lld:%02lld", segundos < 0 ? "-" : "",
                          static_cast<long long>(a / 3600), static_cast<long long>(a / 60 % 60),
                          static_cast<long long>(a % 60));
        return QString::fromLatin1(b, n);
    }
    const qint64 partes[] = {segundos / 3600, segundos / 60 % 60, segundos % 60};
    QString s(8, QLatin1Char(':'));
    for (int i = 0; i < 3; ++i) {
        s[3 * i] = QLatin1Char(char('0' + partes[i] / 10));
        s[3 * i + 1] = QLatin1Char(char('0' + partes[i] % 10));
    }
    return s;
}

namespace {

QString hhmmss(const QTime& t) {
    return horaDelDia(t.hour() * 3600 + t.minute() * 60 + t.second());
}

} // namespace

QString horaDe(const QVariant& v) {
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QTime || v.typeId() == QMetaType::QDateTime)
        return hhmmss(v.typeId() == QMetaType::QTime ? v.toTime() : v.toDateTime().time());
    const QString texto = RecordSet::textOf(v);
    static const QRegularExpression hora(
        QStringLiteral("(?:^|[ T])(\\d{1,2}):(\\d{2})(?::(\\d{2}))?(?:\\.\\d*)?\\s*$"));
    const QRegularExpressionMatch m = hora.match(texto);
    if (!m.hasMatch())
        return texto;
    const QTime t(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return t.isValid() ? hhmmss(t) : texto;
}

QString sinBlancos(const QString& texto) {
    qsizetype i = 0, j = texto.size();
    while (i < j && texto[i] == QLatin1Char(' '))
        ++i;
    while (j > i && texto[j - 1] == QLatin1Char(' '))
        --j;
    return texto.mid(i, j - i);
}

double valorNumerico(const QString& texto) {
    qsizetype i = 0;
    const qsizetype n = texto.size();
    while (i < n && (texto[i] == QLatin1Char(' ') || texto[i] == QLatin1Char('\t')))
        ++i;
    const qsizetype inicio = i;
    if (i < n && (texto[i] == QLatin1Char('-') || texto[i] == QLatin1Char('+')))
        ++i;
    bool digitos = false;
    while (i < n && texto[i].isDigit() && texto[i].unicode() < 128) {
        ++i;
        digitos = true;
    }
    if (i < n && texto[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && texto[i].isDigit() && texto[i].unicode() < 128) {
            ++i;
            digitos = true;
        }
    }
    if (!digitos)
        return 0;
    return texto.mid(inicio, i - inicio).toDouble();
}

QString limpiarCedula(const QString& texto) {
    QString c = sinBlancos(texto).toUpper();
    c.remove(QLatin1Char('\''));
    return c;
}

bool es_vacio(const QString& texto) {
    return sinBlancos(texto).isEmpty() || texto == kMascaraVacia;
}

namespace {

// InStr(start, s, sep): 1-based position of sep at or after start, 0 if none.
qsizetype inStr(qsizetype start, const QString& s, const QString& sep) {
    if (start > s.size())
        return 0;
    if (sep.isEmpty())
        return start;
    const qsizetype i = s.indexOf(sep, start - 1, Qt::CaseSensitive);
    return i < 0 ? 0 : i + 1;
}

} // namespace

QString extraer_parte(const QString& texto, qsizetype n, const QString& separador) {
    qsizetype anterior = 0, posicion = 0;
    for (qsizetype i = 0; i < n; ++i) {
        posicion = inStr(anterior + 1, texto, separador);
        if (posicion == 0)
            posicion = texto.size() + 1;
        if (i != n - 1) {
            anterior = posicion;
            if (anterior > texto.size())
                return QString(); // past the end: every later piece is empty
        }
    }
    if (posicion <= anterior)
        return QString();
    return texto.mid(anterior, posicion - anterior - 1);
}

} // namespace velmar
