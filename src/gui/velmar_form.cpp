#include "gui/velmar_form.h"

#include "clock/attendance_clock.h"
#include "db/conexion.h"
#include "gui/design_metrics.h"
#include "gui/operations_menu.h"
#include "kept/kept_link.h"
#include "printing/label_printer.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <utility>

// The pictures live in the gui library's resources; a static library must
// register them itself.
static void cargarRecursos() {
    Q_INIT_RESOURCE(velmar);
}

namespace velmar {

namespace {

// The design fonts are Windows ones; metric-compatible ones stand in for them.
void sustituirFuentes() {
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}

// A caption keeps its design box; where the stand-in font runs wider than the
// original, it is narrowed to fit instead of being cut.
void ajustarAncho(QLabel* label) {
    QFont f = label->font();
    const int ancho = QFontMetrics(f).horizontalAdvance(label->text());
    if (ancho > label->width() && ancho > 0) {
        f.setStretch(std::max(50, 100 * label->width() / ancho));
        label->setFont(f);
    }
}

} // namespace

CardBox::~CardBox() = default;

void CardBox::keyPressEvent(QKeyEvent* e) {
    if (enviando_ || vaciando_) {
        pendientes_.emplace_back(e->clone());
        e->accept();
        return;
    }
    tratar(e);
    vaciando_ = true;
    while (!pendientes_.empty()) {
        const std::unique_ptr<QKeyEvent> k = std::move(pendientes_.front());
        pendientes_.pop_front();
        tratar(k.get());
    }
    vaciando_ = false;
}

namespace {

// A character a scanner types: printable, no Ctrl, Alt or Meta. Such a key is
// only ever inserted, so it skips the line edit's check against every
// editing shortcut (a large share of a scan's time otherwise).
bool esCaracter(const QKeyEvent* e) {
    if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString t = e->text();
    if (t.isEmpty())
        return false;
    for (const QChar c : t)
        if (!c.isPrint())
            return false;
    return true;
}

} // namespace

bool CardBox::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride && esCaracter(static_cast<QKeyEvent*>(e))) {
        e->accept(); // typed here, never a shortcut
        return true;
    }
    return QLineEdit::event(e);
}

void CardBox::tratar(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        enviando_ = true;
        emit enter();
        enviando_ = false;
        return;
    }
    if (!e->text().isEmpty())
        emit tecla();
    if (esCaracter(e)) {
        insert(e->text());
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

VelmarForm::VelmarForm(Conexion& db, Prompts* prompts, LabelPrinter* printer, QWidget* parent)
    : QMainWindow(parent) {
    construir();
    if (!prompts) {
        ownPrompts_ = std::make_unique<WidgetPrompts>(this);
        prompts = ownPrompts_.get();
    }
    if (!printer) {
        ownPrinter_ = defaultLabelPrinter();
        printer = ownPrinter_.get();
    }
    history_ = std::make_unique<HistoryView>(text2_);
    report_ = std::make_unique<ReportView>(txtReporte_);
    busy_ = std::make_unique<BusyView>(this, frame1_);
    input_ = std::make_unique<LineInput>(text1_);
    vista_ = std::make_unique<VistaPreviaVentana>(this);
    // The server forgets a silent session within a minute, so that a vanished
    // station frees its locks: an open window keeps its own, from before a
    // box about the kept scans' journal can wait on the operator.
    auto* latido = new QTimer(this);
    connect(latido, &QTimer::timeout, this, [c = &db] { c->mantener(); });
    latido->start(Conexion::kSesionInactiva * 1000 / 4);
    frontEnd_ = std::make_unique<FrontEndStation>(StationServices(
        db, *history_, *report_, *busy_, *prompts, *printer, *input_, vista_.get()));

    connect(text1_, &CardBox::enter, this, [this] {
        marcarTarjeta(station(), guardadas(), text1_->text());
        mostrarEspera();
    });
    connect(text1_, &CardBox::tecla, this, [this] { tecla_asistencia(station()); });
    guardarSinConexion();
    instalarMenuOperaciones(station(), menuBar(), guardadas());
    // The design client area stays as it was; the window grows by the bar.
    resize(width(), height() + menuBar()->sizeHint().height());
    // Centred once the menu bar has grown the window.
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

VelmarForm::~VelmarForm() = default;

// Scans kept while the database is away, when the farm turned it on: a count
// of those waiting under the card box; the link is tried and the waiting
// scans sent on a thread of their own, so the window never waits for them.
void VelmarForm::guardarSinConexion() {
    if (!guardadas())
        return;
    espera_ = new QLabel(client_);
    espera_->setObjectName(QStringLiteral("lblEspera"));
    espera_->setFont(sansSerif(8.25, false));
    espera_->setGeometry(px(4560), px(525), px(2535), px(195));
    mostrarEspera();
    // The count is read here, after each card and a few times a second,
    // rather than pushed up from the kept scans.
    auto* lectura = new QTimer(this);
    connect(lectura, &QTimer::timeout, this, &VelmarForm::mostrarEspera);
    lectura->start(kLecturaEspera);
    // its first round reads the server's clock
    guardadas()->segundoPlano(std::make_unique<EnlaceDeGuardadas>(*guardadas(), station()));
}

// The waiting count under the card box, when it changed: hidden while none
// wait.
void VelmarForm::mostrarEspera() {
    if (!guardadas())
        return;
    const int n = guardadas()->enEspera();
    if (std::exchange(mostrada_, n) == n)
        return;
    espera_->setText(QStringLiteral("Marcaciones en espera: ") +
                     (n < 0 ? QStringLiteral("no se sabe, revise el diario") : QString::number(n)));
    espera_->setVisible(n != 0);
}

void VelmarForm::construir() {
    cargarRecursos();
    sustituirFuentes();
    setObjectName(QStringLiteral("velmar_form"));
    setWindowTitle(QStringLiteral("VELMAR"));
    setWindowIcon(QIcon(QStringLiteral(":/velmar/velmar-icon.png")));

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);
    client_->installEventFilter(this);

    label2_ = new QLabel(QStringLiteral("Control de Asistencia"), client_);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setFont(sansSerif(12, true));
    label2_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label2_->setGeometry(px(240), px(120), px(2655), px(375));
    ajustarAncho(label2_);

    label1_ = new QLabel(QStringLiteral("Cédula"), client_);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setFont(sansSerif(8.25, true));
    label1_->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label1_->setGeometry(px(3360), px(240), px(975), px(255));
    ajustarAncho(label1_);

    text1_ = new CardBox(client_);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setFont(sansSerif(8.25, false));
    text1_->setMaxLength(std::numeric_limits<int>::max());
    text1_->setGeometry(px(4560), px(240), px(2535), px(285));

    image2_ = new QLabel(client_);
    image2_->setObjectName(QStringLiteral("Image2"));
    image2_->setPixmap(QPixmap(QStringLiteral(":/velmar/velmar-banner.png")));
    image2_->setScaledContents(true);
    image2_->setGeometry(px(8160), 0, px(2235), px(570));

    construirHistoria();
    construirReporte();

    // Text1 first, so it has the focus when the window opens.
    setTabOrder(text1_, frame1_);
    setTabOrder(frame1_, text2_);
    setTabOrder(text2_, label1_);
    setTabOrder(label1_, txtReporte_);
    setTabOrder(txtReporte_, label2_);
    text1_->setFocus(Qt::OtherFocusReason);

    client_->setMinimumSize(0, 0);
    client_->resize(kAncho, kAlto);
    resize(kAncho, kAlto);
}

// Frame1 and the operations history Text2 inside it.
void VelmarForm::construirHistoria() {
    frame1_ = new QGroupBox(Busy::kLeyendaInicial, client_);
    frame1_->setObjectName(QStringLiteral("Frame1"));
    frame1_->setFont(sansSerif(8.25, true));
    frame1_->setGeometry(px(120), px(720), px(10335), px(4575));

    text2_ = new QPlainTextEdit(frame1_);
    text2_->setObjectName(QStringLiteral("Text2"));
    QFont arial(QStringLiteral("Arial"));
    arial.setStyleHint(QFont::SansSerif);
    arial.setPointSizeF(8.25);
    arial.setBold(false); // not the frame's bold caption font
    text2_->setFont(arial);
    text2_->setReadOnly(true);
    text2_->setUndoRedoEnabled(false);
    text2_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text2_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text2_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text2_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text2_->setGeometry(px(120), px(240), px(10095), px(4215));
}

// The report box, hidden until a report writes into it.
void VelmarForm::construirReporte() {
    txtReporte_ = new QPlainTextEdit(client_);
    txtReporte_->setObjectName(QStringLiteral("txtReporte"));
    txtReporte_->setFont(sansSerif(8.25, false));
    txtReporte_->setReadOnly(true);
    txtReporte_->setUndoRedoEnabled(false);
    txtReporte_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtReporte_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtReporte_->setGeometry(px(6720), 0, px(3735), px(5295));
    txtReporte_->hide();
}

bool VelmarForm::eventFilter(QObject* obj, QEvent* e) {
    if (obj == client_ && e->type() == QEvent::Resize)
        aplicarDisposicion();
    return QMainWindow::eventFilter(obj, e);
}

// The frame and the history follow the window; the margins (120 twips inside the
// frame, 120 twips to the client area's edge) hold at any size. Nothing moves.
void VelmarForm::aplicarDisposicion() {
    const int w = client_->width();
    const int h = client_->height();
    const auto cero = [](int v) { return std::max(0, v); };
    text2_->resize(cero(w - px(465)), text2_->height());
    frame1_->resize(cero(w - px(225)), frame1_->height());
    text2_->resize(text2_->width(), cero(h - px(1245)));
    frame1_->resize(frame1_->width(), cero(h - px(885)));
}

} // namespace velmar
