#pragma once
// The label preview in the window: the label drawn as the printer will print
// it, before any label stock is spent, and the choice to print it.

#include "labels/box_labels.h"
#include "station/station.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace velmar {

// Imprimir sends the very bytes shown through the station's printer; the
// dialog closes once the printer took them and stays open after its failure
// box, for another try.
class DialogoVistaPrevia : public QDialog {
    Q_OBJECT
public:
    static constexpr int kAltoVista = 600;

    DialogoVistaPrevia(Station& st, EtiquetaCompuesta etiqueta, QWidget* parent = nullptr);

    const EtiquetaCompuesta& etiqueta() const { return etiqueta_; }
    QLabel* imagen() const { return imagen_; }
    QPushButton* cmdImprimir() const { return imprimir_; }

private:
    Station& st_;
    EtiquetaCompuesta etiqueta_;
    QLabel* imagen_ = nullptr;
    QPushButton* imprimir_ = nullptr;
    QPushButton* cerrar_ = nullptr;
};

// The station's preview: the dialog, modal over `parent`.
class VistaPreviaVentana : public LabelPreview {
public:
    explicit VistaPreviaVentana(QWidget* parent)
        : parent_(parent) {}
    void mostrar(Station& st, const EtiquetaCompuesta& etiqueta, const QString& archivo) override;

private:
    QWidget* parent_;
};

} // namespace velmar
