#pragma once
// Recording stand-ins for the window side of the station context.

#include "station/context.h"

#include <QList>
#include <QStringList>

namespace velmar::test {

struct Caja {
    QString texto;
    int estilo;
    QString titulo;
    bool operator==(const Caja&) const = default;
};

// Answers Yes/No boxes from `respuestas` (No when empty); records every box
// and beep, in order, in `eventos` as "beep" or "estilo|titulo|texto".
class RecordingPrompts : public Prompts {
public:
    QList<int> respuestas;
    QList<Caja> cajas;
    QStringList eventos;

    void beep() override { eventos << QStringLiteral("beep"); }
    QStringList textos() const {
        QStringList t;
        for (const Caja& c : cajas)
            t << c.texto;
        return t;
    }
    void limpiar() { cajas.clear(), eventos.clear(), respuestas.clear(); }

protected:
    int mostrar(const QString& texto, int estilo, const QString& titulo) override {
        cajas.append({texto, estilo, titulo});
        eventos << QString::number(estilo) + '|' + titulo + '|' + texto;
        if ((estilo & 0x0F) != kSiNo)
            return kOk;
        return respuestas.isEmpty() ? kNo : respuestas.takeFirst();
    }
};

class RecordingBusy : public Busy {
public:
    QStringList captions;
    QList<int> punteros;
    QList<bool> repintados;

protected:
    void onPuntero() override { punteros << puntero(); }
    void onCaption(bool repintar) override { captions << caption(), repintados << repintar; }
};

class RecordingPrinter : public LabelPrinter {
public:
    void send(const QByteArray& label) override { etiquetas << label; }
    QList<QByteArray> etiquetas;
};

class RecordingInput : public CardInput {
public:
    int vaciado = 0;
    int enfocado = 0;
    void vaciar() override { ++vaciado; }
    void enfocar() override { ++enfocado; }
};

} // namespace velmar::test
