#include "gui/widget_context.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGroupBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

namespace velmar {

QString paraVista(const QString& texto) {
    QString t = texto;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

namespace {

// Drops key input aimed at one box until it has been up for a moment.
class GuardaTeclas : public QObject {
public:
    explicit GuardaTeclas(QWidget* box)
        : box_(box) {
        reloj_.start();
        qApp->installEventFilter(this);
    }
    ~GuardaTeclas() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* obj, QEvent* e) override {
        const QEvent::Type t = e->type();
        if (t != QEvent::KeyPress && t != QEvent::KeyRelease && t != QEvent::ShortcutOverride)
            return false;
        auto* w = qobject_cast<QWidget*>(obj);
        if (!w || (w != box_ && !box_->isAncestorOf(w)))
            return false;
        return reloj_.elapsed() < WidgetPrompts::kGuardaMs;
    }

private:
    QWidget* box_;
    QElapsedTimer reloj_;
};

} // namespace

int WidgetPrompts::mostrar(const QString& texto, int estilo, const QString& titulo) {
    QMessageBox box(parent_);
    const GuardaTeclas guarda(&box);
    box.setWindowTitle(titulo);
    // A server message or an operator's argument may look like HTML.
    box.setTextFormat(Qt::PlainText);
    box.setText(paraVista(texto));
    switch (estilo & 0xF0) {
    case kCritico:
        box.setIcon(QMessageBox::Critical);
        break;
    case kExclamacion:
        box.setIcon(QMessageBox::Warning);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
    }
    if ((estilo & 0x0F) == kSiNo) {
        QPushButton* si = box.addButton(QStringLiteral("&Sí"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        box.setDefaultButton(no);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == si ? kSi : kNo;
    }
    QPushButton* ok = box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return kOk;
}

void WidgetPrompts::beep() {
    QApplication::beep();
}

namespace {

// Adds a piece at the end of a view's document, without copying what it holds.
void agregarAlFinal(QPlainTextEdit* edit, const QString& pieza) {
    QTextCursor c(edit->document());
    c.movePosition(QTextCursor::End);
    c.insertText(paraVista(pieza));
}

} // namespace

void HistoryView::onAppended(const QString& pieza) {
    agregarAlFinal(edit_, pieza);
}

void HistoryView::onReplaced() {
    edit_->setPlainText(paraVista(texto()));
}

void HistoryView::onCaret() {
    // Every key of a card moves the caret to the end: when it and the view are
    // already there, there is nothing to redo.
    const bool inicio = caret() == 0;
    const int destino = inicio ? 0 : edit_->document()->characterCount() - 1;
    if (edit_->textCursor().position() == destino &&
        edit_->viewport()->rect().contains(edit_->cursorRect()))
        return;
    edit_->moveCursor(inicio ? QTextCursor::Start : QTextCursor::End);
    edit_->ensureCursorVisible();
}

void ReportView::onReplaced() {
    // A table in the form's proportional font would not line up; its lines
    // scroll instead of wrapping, so each row stays one row.
    if (columnas() != fija_) {
        if (columnas()) {
            proporcional_ = edit_->font();
            QFont fija(QStringLiteral("Liberation Mono"));
            fija.setStyleHint(QFont::Monospace);
            fija.setFixedPitch(true);
            fija.setPointSizeF(proporcional_.pointSizeF());
            edit_->setFont(fija);
        } else {
            edit_->setFont(proporcional_);
        }
        edit_->setLineWrapMode(columnas() ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
        fija_ = columnas();
    }
    edit_->setPlainText(paraVista(texto()));
}

void ReportView::onAppended(const QString& pieza) {
    agregarAlFinal(edit_, pieza);
}

void ReportView::onVisible() {
    edit_->setVisible(visible());
    if (visible())
        edit_->raise();
}

void BusyView::alCambiarPuntero() {
    if (puntero() == kReloj)
        form_->setCursor(Qt::WaitCursor);
    else
        form_->unsetCursor();
}

void BusyView::alCambiarLeyenda(bool repintar) {
    frame_->setTitle(leyenda());
    if (repintar)
        frame_->repaint();
}

} // namespace velmar
