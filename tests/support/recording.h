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

// Answers Yes/No questions from a script (No when the script is empty) and
// records every box and beep in order.
class RecordingPrompts : public Prompts {
public:
    void beep() override;

protected:
    int mostrar(const QString& texto, int estilo, const QString& titulo) override;

public:
    QList<int> respuestas; // consumed by style-4 boxes
    QList<Caja> cajas;
    // Boxes and beeps in the order they happened: "beep" or "estilo|titulo|texto".
    QStringList eventos;
    QStringList textos() const;
    void limpiar();
};

// Records the captions shown and the pointer changes.
class RecordingBusy : public Busy {
public:
    QStringList captions;
    QList<int> punteros;
    QList<bool> repintados;

protected:
    void onPuntero() override { punteros << puntero(); }
    void onCaption(bool repintar) override {
        captions << caption();
        repintados << repintar;
    }
};

class RecordingPrinter : public LabelPrinter {
public:
    void send(const QByteArray& label) override { etiquetas << label; }
    QList<QByteArray> etiquetas;
};

class RecordingPreview : public LabelPreview {
public:
    void mostrar(Station&, const EtiquetaCompuesta& e, const QString&) override { vistas << e; }
    QList<EtiquetaCompuesta> vistas;
};

class RecordingInput : public CardInput {
public:
    int vaciado = 0;
    int enfocado = 0;
    void vaciar() override { ++vaciado; }
    void enfocar() override { ++enfocado; }
};

} // namespace velmar::test
