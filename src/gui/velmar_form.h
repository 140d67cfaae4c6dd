#pragma once
// velmar_form: the station's window. The attendance box, the operations
// history, the hidden report box; the operations run on its station context.

#include "gui/label_preview.h"
#include "gui/widget_context.h"
#include "operations/front_end_station.h"
#include "station/station.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <deque>
#include <memory>
#include <optional>

class QGroupBox;
class QLabel;
class QPlainTextEdit;

namespace velmar {

class Conexion;

// Text1: Enter submits the card; every other key keeps the history tidy and is
// typed as usual. Keys that arrive while a card is being submitted (during one
// of its message boxes) wait and are handled after it, in order: a scanner's
// next card is neither lost nor mixed into the one being submitted.
class CardBox : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
    ~CardBox() override;

signals:
    void enter();
    void tecla();

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void tratar(QKeyEvent* e);

    bool enviando_ = false;
    bool vaciando_ = false;
    std::deque<std::unique_ptr<QKeyEvent>> pendientes_;
};

class VelmarForm : public QMainWindow {
    Q_OBJECT
public:
    // Design client area in pixels (10560 x 5460 twips).
    static constexpr int kAncho = 704;
    static constexpr int kAlto = 364;

    // `prompts` and `printer` default to real message boxes and the label
    // printer the station is configured with.
    VelmarForm(Conexion& db, Prompts* prompts = nullptr, LabelPrinter* printer = nullptr,
               QWidget* parent = nullptr);
    ~VelmarForm() override;

    Station& station() { return frontEnd_->station; }
    // Null unless the farm turned kept scans on.
    KeptScans* guardadas() { return frontEnd_->guardadas.get(); }

    CardBox* text1() const { return text1_; }
    QPlainTextEdit* text2() const { return text2_; }
    QPlainTextEdit* txtReporte() const { return txtReporte_; }

protected:
    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    void construir();
    void construirHistoria();
    void construirReporte();
    void aplicarDisposicion();
    void guardarSinConexion();
    void mostrarEspera();

    QWidget* client_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label1_ = nullptr;
    CardBox* text1_ = nullptr;
    QLabel* image2_ = nullptr;
    QGroupBox* frame1_ = nullptr;
    QPlainTextEdit* text2_ = nullptr;
    QPlainTextEdit* txtReporte_ = nullptr;
    QLabel* espera_ = nullptr;                 // the waiting count, with kept scans on
    std::optional<int> mostrada_;              // the count it shows
    static constexpr int kLecturaEspera = 300; // ms between reads of the count

    std::unique_ptr<WidgetPrompts> ownPrompts_;
    std::unique_ptr<LabelPrinter> ownPrinter_;
    std::unique_ptr<HistoryView> history_;
    std::unique_ptr<ReportView> report_;
    std::unique_ptr<BusyView> busy_;
    std::unique_ptr<LineInput> input_;
    std::unique_ptr<VistaPreviaVentana> vista_;
    std::unique_ptr<FrontEndStation> frontEnd_;
};

} // namespace velmar
