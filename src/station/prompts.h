#pragma once
// The station's message boxes, as every front end shows them: the window with
// real boxes, velmar-cli as lines on stderr, the tests with a recording.

#include <QString>

namespace velmar {

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

} // namespace velmar
