#pragma once
// "Marcaciones guardadas...": the supervisor's view of the scans this station
// kept while the database was away, waiting and recently sent, with what
// each became. It reads only the station's journal file: no server wait.

#include "journal/kept_record.h"
#include "station/station.h"

#include <QDialog>

class QDateEdit;
class QLabel;
class QTableWidget;

namespace velmar {

class KeptScans; // kept/kept_scans.h

class DialogoMarcasGuardadas : public QDialog {
    Q_OBJECT
public:
    // Sent scans shown at first: those kept in the last days (the waiting, all).
    static constexpr int kDiasRecientes = 7;

    DialogoMarcasGuardadas(const ScanJournal& diario, QWidget* parent = nullptr);

    QTableWidget* tabla() const { return tabla_; }
    QDateEdit* desde() const { return desde_; }
    QLabel* resumen() const { return resumen_; }

private:
    void cargar();
    void llenar(const QList<MarcaRegistrada>& filas);

    const ScanJournal& diario_;
    QDateEdit* desde_ = nullptr;
    QLabel* resumen_ = nullptr;
    QTableWidget* tabla_ = nullptr;
};

// The menu entry, once the administrator's login is done: the dialog, modal
// over `ventana`, or the box of a station without a journal.
void mostrarMarcasGuardadas(Station& st, const KeptScans* guardadas, QWidget* ventana);

} // namespace velmar
