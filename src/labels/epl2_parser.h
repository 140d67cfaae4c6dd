#pragma once
// What an EPL2 label printer makes of a raw job: the labels it prints, each
// with the fields of its image buffer and the form settings then in force.
// Used by the printer emulator; core code, no graphics.

#include "labels/cp1252.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace velmar {

struct Epl2Campo {
    enum Tipo { Texto, LineaNegra, LineaBlanca, LineaXor };
    Tipo tipo = Texto;
    int x = 0;
    int y = 0;
    // Texto (A): rotation 0-3, font 1-5, multipliers, reverse printing.
    int rotacion = 0;
    int fuente = 1;
    int multH = 1;
    int multV = 1;
    bool inverso = false;
    QString texto;
    // Lines (LO, LW, LE): horizontal length and vertical thickness.
    int largoH = 0;
    int grosorV = 0;
};

struct Epl2Impresion {
    int ancho = 0; // q, 0 when the printer was never told
    int largo = 0; // Q, 0 when the printer was never told
    int separacion = 0;
    int copias = 1;
    QVector<Epl2Campo> campos;
};

// One printer: keeps its form settings and image buffer from job to job, as a
// real one does.
class Epl2Impresora {
public:
    // Runs a job's command lines; gives the labels printed (one per P).
    QVector<Epl2Impresion> procesar(const QByteArray& trabajo);

private:
    void comando(const QByteArray& linea, QVector<Epl2Impresion>& impresas);

    int ancho_ = 0;
    int largo_ = 0;
    int separacion_ = 0;
    QVector<Epl2Campo> buffer_;
};

} // namespace velmar
