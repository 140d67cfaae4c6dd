#pragma once
// What an operation of the station may touch, and nothing more. The window
// implements these with its widgets, velmar-cli with stdout/stderr/stdin, and
// the tests with recording fakes.

#include "labels/printing/label_printer.h"

#include <QByteArray>
#include <QString>

namespace velmar {

class Conexion;

inline const QString kTitulo = QStringLiteral("velmar");

// Message-box style numbers and results, as operators' scripts know them.
enum Estilo { kSoloOk = 0, kSiNo = 4, kCritico = 16, kExclamacion = 48 };
enum Respuesta { kOk = 1, kSi = 6, kNo = 7 };

class Prompts {
public:
    virtual ~Prompts() = default;
    // Shows a modal box and returns kOk, kSi or kNo.
    int msgbox(const QString& texto, int estilo, const QString& titulo = kTitulo) {
        return mostrar(texto, estilo, titulo);
    }
    virtual void beep() = 0;

protected:
    virtual int mostrar(const QString& texto, int estilo, const QString& titulo) = 0;
};

// The operations history (Text2). The text is the only truth; a view follows it
// through the hooks, one piece at a time, so a long run stays cheap.
class History {
public:
    static constexpr int kLimite = 20480;
    static constexpr int kConserva = 16384;

    virtual ~History() = default;
    const QString& texto() const { return texto_; }
    int caret() const { return caret_; }

    // agregar_historia: the line and CR LF at the end; the caret goes to the start,
    // as replacing a text box's text does.
    void agregar_historia(const QString& linea);
    // A piece without line end (the attendance clock's error line).
    void agregarTexto(const QString& pieza);
    // recortar_historia: bound the text, then caret to the end.
    void recortar_historia();
    void cursorAlFinal();

protected:
    virtual void onAppended(const QString& /*pieza*/) {}
    virtual void onReplaced() {}
    virtual void onCaret() {}

private:
    QString texto_;
    int caret_ = 0;
};

// txtReporte: the packing reports' box, hidden at start.
class ReportBox {
public:
    virtual ~ReportBox() = default;
    const QString& texto() const { return texto_; }
    bool visible() const { return visible_; }
    // Whether an operation wrote into it since the last reset (for velmar-cli).
    bool escrito() const { return escrito_; }
    void reiniciarEscrito() { escrito_ = false; }
    // Whether the text is laid out in fixed columns, which line up only in a
    // fixed-pitch font; each set() says so again.
    bool columnas() const { return columnas_; }

    void set(const QString& texto, bool columnas = false);
    void append(const QString& texto);
    void show();
    void hide();

protected:
    virtual void onReplaced() {}
    virtual void onAppended(const QString& /*pieza*/) {}
    virtual void onVisible() {}

private:
    QString texto_;
    bool visible_ = false;
    bool escrito_ = false;
    bool columnas_ = false;
};

// The busy indication: mouse pointer (0 arrow, 11 hourglass) and Frame1 caption.
class Busy {
public:
    static constexpr int kFlecha = 0;
    static constexpr int kReloj = 11;
    static inline const QString kCaptionInicial = QStringLiteral("Historia de las Operaciones");
    static inline const QString kCaptionError = QStringLiteral("Historia de operaciones");

    virtual ~Busy() = default;
    int puntero() const { return puntero_; }
    const QString& caption() const { return caption_; }
    void ponerPuntero(int puntero);
    // `repintar`: show the caption at once although the operation keeps blocking.
    void ponerLeyenda(const QString& caption, bool repintar = true);

protected:
    virtual void onPuntero() {}
    virtual void onCaption(bool /*repintar*/) {}

private:
    int puntero_ = kFlecha;
    QString caption_ = kCaptionInicial;
};

// The attendance box Text1, as far as operations touch it.
class CardInput {
public:
    virtual ~CardInput() = default;
    virtual void vaciar() {}
    virtual void enfocar() {}
};

// A label as composed for one box, whether or not the printer took it.
struct EtiquetaCompuesta {
    QString packing;
    QString caja;
    QByteArray bytes;
};

struct Station;

// Where a label preview goes: the window shows it with a button to print it,
// velmar-cli draws it to `archivo` (the window has no use for that name).
class LabelPreview {
public:
    virtual ~LabelPreview() = default;
    virtual void mostrar(Station& st, const EtiquetaCompuesta& etiqueta,
                         const QString& archivo) = 0;
};

struct Station {
    Conexion& db;
    History& history;
    ReportBox& report;
    Busy& busy;
    Prompts& prompts;
    LabelPrinter& printer;
    CardInput& input;
    // velmo's module text: permission of the last administrator who logged in.
    QString permiso_usuario;
    // The form's text: air waybill of the packing last labelled.
    QString guia_actual;
    // The last label the printer took.
    QByteArray ultima_etiqueta;
    // The last label composed, sent or not: a reprint after a jam sends this
    // one, so the box on the table gets its own label and not the one before.
    EtiquetaCompuesta ultima_compuesta = {};
    // Null where no preview can be shown (a station without a front end).
    LabelPreview* vista = nullptr;
};

} // namespace velmar
