#pragma once
// A label printer on the loopback interface: takes raw EPL2 jobs as a
// networked label printer's raw port does, keeps each job's bytes and draws
// each printed label to a PNG. velmar-impresora is this class and a main().

#include "epl2/epl2_printer.h"

#include <QHash>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

namespace velmar {

// Where the emulator reports: one line per printed label on `out` ("PATH<TAB>N
// copias"), saved jobs and failures on `err`.
struct EmulatorLog {
    std::function<void(const QString&)> out;
    std::function<void(const QString&)> err;
};

// Draws each label to the PNG `name(i)` names (each replaced whole or not at
// all) and reports it; the others are still drawn when one cannot be written,
// then the first failure is thrown (FileError, why in Spanish).
void saveLabelImages(const QVector<Epl2PrintedLabel>& labels,
                     const std::function<QString(int)>& name, const EmulatorLog& log);

// Draws printed labels to `png` (a second one to png's stem + "-2.png", ...);
// throws the first failure as saveLabelImages does.
void saveJobImages(const QVector<Epl2PrintedLabel>& labels, const QString& png,
                   const EmulatorLog& log);

// Draws a saved job to `png` (a second label to png's stem + "-2.png", ...);
// the exit status: 0, or 1 when the job cannot be read or prints nothing.
int renderJobFile(const QString& job, const QString& png, const EmulatorLog& log);

// One job per connection, saved as DIR/etiqueta-NNN.epl once the sender
// closes; each label drawn to DIR/etiqueta-NNN.png (a second one of the job to
// etiqueta-NNN-2.png) as soon as its P arrives.
class PrinterEmulator {
public:
    PrinterEmulator(QString dir, EmulatorLog log);

    bool listen(quint16 port) { return server_.listen(QHostAddress::LocalHost, port); }
    quint16 port() const { return server_.serverPort(); }
    QString error() const { return server_.errorString(); }

private:
    struct Job {
        QString base; // DIR/etiqueta-NNN
        QByteArray bytes;
        qsizetype run = 0; // bytes already run through the printer
        int labels = 0;
        bool cut = false; // past the buffer: the rest is dropped
    };

    void accept();
    void receive(QTcpSocket* s, bool final);
    void save(const Job& job) const;

    QString dir_;
    EmulatorLog log_;
    int next_ = 1;
    QTcpServer server_;
    Epl2Printer printer_;
    QHash<QTcpSocket*, Job> jobs_;
};

} // namespace velmar
