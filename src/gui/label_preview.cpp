#include "gui/label_preview.h"

#include "emulator/epl2_render.h"
#include "epl2/epl2_parser.h"
#include "labels/box_labels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {

DialogoVistaPrevia::DialogoVistaPrevia(Station& st, EtiquetaCompuesta etiqueta, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
    , st_(st)
    , etiqueta_(std::move(etiqueta)) {
    setObjectName(QStringLiteral("dlgVistaPrevia"));
    setWindowTitle(QStringLiteral("Vista previa: packing ") + etiqueta_.packing +
                   QStringLiteral(", caja ") + etiqueta_.caja);

    // Side by side when a job prints more than one label; each fitted to the
    // height, smoothed so that small print stays legible when shrunk.
    auto* etiquetas = new QHBoxLayout;
    QStringList copias;
    for (const QImage& img : renderDocument(parseEpl2(etiqueta_.bytes))) {
        auto* vista = new QLabel(this);
        vista->setPixmap(QPixmap::fromImage(
            img.scaledToHeight(std::min(img.height(), kAltoVista), Qt::SmoothTransformation)));
        vista->setFrameShape(QFrame::Box);
        etiquetas->addWidget(vista);
        copias << img.text(QStringLiteral("Copias"));
        if (!imagen_)
            imagen_ = vista;
    }
    auto* pie = new QLabel(QStringLiteral("Copias: ") + copias.join(QStringLiteral(", ")), this);

    imprimir_ = new QPushButton(QStringLiteral("&Imprimir"), this);
    imprimir_->setObjectName(QStringLiteral("cmdImprimir"));
    cerrar_ = new QPushButton(QStringLiteral("&Cerrar"), this);
    cerrar_->setObjectName(QStringLiteral("cmdCerrar"));
    cerrar_->setDefault(true); // a stray Enter spends no label
    connect(imprimir_, &QPushButton::clicked, this, [this] {
        if (sendLabel(st_, etiqueta_))
            accept();
    });
    connect(cerrar_, &QPushButton::clicked, this, &QDialog::reject);

    auto* botones = new QHBoxLayout;
    botones->addWidget(pie);
    botones->addStretch();
    botones->addWidget(imprimir_);
    botones->addWidget(cerrar_);
    auto* todo = new QVBoxLayout(this);
    todo->addLayout(etiquetas);
    todo->addLayout(botones);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void VistaPreviaVentana::mostrar(Station& st, const EtiquetaCompuesta& etiqueta, const QString&) {
    DialogoVistaPrevia dialogo(st, etiqueta, parent_);
    dialogo.exec();
}

} // namespace velmar
