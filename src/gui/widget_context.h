#pragma once
// The station context's interfaces over real widgets.

#include "station/station.h"

#include <QFont>
#include <QLineEdit>

class QGroupBox;
class QPlainTextEdit;
class QWidget;

namespace velmar {

// Message boxes and the beep with QMessageBox, Spanish buttons.
//
// A scanner keeps typing while a box is up: the next card's keys must not
// answer a box meant for the operator. Keys that reach a box in its first
// moment are dropped, and a Yes/No question defaults to No, so a stray Enter
// never records anything.
class WidgetPrompts : public Prompts {
public:
    static constexpr int kGuardaMs = 800;

    explicit WidgetPrompts(QWidget* parent = nullptr)
        : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void beep() override;

protected:
    int mostrar(const QString& texto, int estilo, const QString& titulo) override;

public:
private:
    QWidget* parent_;
};

// Text2: the history text shown piece by piece, never copied whole per line.
class HistoryView : public History {
public:
    explicit HistoryView(QPlainTextEdit* edit)
        : edit_(edit) {}

protected:
    void onAppended(const QString& pieza) override;
    void onReplaced() override;
    void onCaret() override;

private:
    QPlainTextEdit* edit_;
};

// txtReporte.
class ReportView : public ReportBox {
public:
    explicit ReportView(QPlainTextEdit* edit)
        : edit_(edit) {}

protected:
    void onReplaced() override;
    void onAppended(const QString& pieza) override;
    void onVisible() override;

private:
    QPlainTextEdit* edit_;
    QFont proporcional_;
    bool fija_ = false;
};

// Mouse pointer of the form and caption of Frame1.
class BusyView : public Busy {
public:
    BusyView(QWidget* form, QGroupBox* frame)
        : form_(form)
        , frame_(frame) {}

protected:
    void alCambiarPuntero() override;
    void alCambiarLeyenda(bool repintar) override;

private:
    QWidget* form_;
    QGroupBox* frame_;
};

class LineInput : public CardInput {
public:
    explicit LineInput(QLineEdit* edit)
        : edit_(edit) {}
    // setText, not clear(): clear() is an undoable edit, and the card box
    // would keep every card ever typed in its undo history.
    void vaciar() override { edit_->setText(QString()); }
    void enfocar() override { edit_->setFocus(Qt::OtherFocusReason); }

private:
    QLineEdit* edit_;
};

// Text with CR LF as the station holds it, for a text box of this platform.
QString paraVista(const QString& texto);

} // namespace velmar
