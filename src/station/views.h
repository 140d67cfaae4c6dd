#pragma once
// What the station form shows and operations write to: the history, the report
// box, the busy indication and the card box. Each class holds the state (the
// text is the only truth) and tells a view through its hooks; the window's
// widgets, velmar-cli's streams and the tests' recordings are those views.

#include <QString>

namespace velmar {

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
    static inline const QString kLeyendaInicial = QStringLiteral("Historia de las Operaciones");
    static inline const QString kLeyendaDeError = QStringLiteral("Historia de operaciones");

    virtual ~Busy() = default;
    int puntero() const { return puntero_; }
    const QString& leyenda() const { return leyenda_; }
    void ponerPuntero(int puntero);
    // `repintar`: show the caption at once although the operation keeps blocking.
    void ponerLeyenda(const QString& leyenda, bool repintar = true);

protected:
    virtual void alCambiarPuntero() {}
    virtual void alCambiarLeyenda(bool /*repintar*/) {}

private:
    int puntero_ = kFlecha;
    QString leyenda_ = kLeyendaInicial;
};

// The attendance box Text1, as far as operations touch it.
class CardInput {
public:
    virtual ~CardInput() = default;
    virtual void vaciar() {}
    virtual void enfocar() {}
};

} // namespace velmar
