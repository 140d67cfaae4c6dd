#pragma once
// The on-screen reports of the packing room: a packing box by box, and one box.

#include "station/station.h"

namespace velmar {

// Writes the report of a packing (only `caja` when it is not empty) into the
// report box: its state, then per box the bunches and stems of each variety
// and the box's totals.
void reporte_pck(Station& st, const QString& packing, const QString& caja = QString());

// Writes the description of one box (air waybill, marking, variety or "MIX")
// into the report box and announces its printing.
void imprimir_caja(Station& st, const QString& packing, const QString& caja, const QString& guia);

} // namespace velmar
