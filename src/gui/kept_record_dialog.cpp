#include "gui/kept_record_dialog.h"

#include "errors/errors.h"
#include "journal/kept_record.h"
#include "kept/kept_scans.h"

#include <QColor>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace velmar {

namespace {

const QStringList kColumnas = {QStringLiteral("Guardada"),  QStringLiteral("Enviada"),
                               QStringLiteral("Cédula"),    QStringLiteral("Persona"),
                               QStringLiteral("Resultado"), QStringLiteral("Hora en la base"),
                               QStringLiteral("Estación"),  QStringLiteral("Detalle")};

// The rows the supervisor must act on stand out: waiting, and exits to scan again.
QColor fondoDe(const MarcaRegistrada& m) {
    if (m.resultado == resultado::kSinConfirmar)
        return QColor(255, 224, 178);
    return m.enviada.isEmpty() ? QColor(255, 249, 196) : QColor();
}

} // namespace

DialogoMarcasGuardadas::DialogoMarcasGuardadas(const ScanJournal& diario, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
    , diario_(diario) {
    setObjectName(QStringLiteral("dlgMarcasGuardadas"));
    setWindowTitle(QStringLiteral("Marcaciones guardadas"));

    desde_ = new QDateEdit(QDate::currentDate().addDays(-kDiasRecientes), this);
    desde_->setObjectName(QStringLiteral("desde"));
    desde_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    desde_->setCalendarPopup(true);
    resumen_ = new QLabel(this);
    resumen_->setObjectName(QStringLiteral("lblResumen"));
    auto* arriba = new QHBoxLayout;
    arriba->addWidget(new QLabel(QStringLiteral("Guardadas desde:"), this));
    arriba->addWidget(desde_);
    arriba->addSpacing(16);
    arriba->addWidget(resumen_, 1);

    tabla_ = new QTableWidget(0, int(kColumnas.size()), this);
    tabla_->setObjectName(QStringLiteral("tblMarcas"));
    tabla_->setHorizontalHeaderLabels(kColumnas);
    tabla_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tabla_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tabla_->verticalHeader()->hide();
    tabla_->setWordWrap(false);
    tabla_->horizontalHeader()->setStretchLastSection(true);

    auto* actualizar = new QPushButton(QStringLiteral("&Actualizar"), this);
    actualizar->setObjectName(QStringLiteral("cmdActualizar"));
    auto* cerrar = new QPushButton(QStringLiteral("&Cerrar"), this);
    cerrar->setObjectName(QStringLiteral("cmdCerrar"));
    cerrar->setDefault(true);
    auto* abajo = new QHBoxLayout;
    abajo->addStretch();
    abajo->addWidget(actualizar);
    abajo->addWidget(cerrar);

    auto* todo = new QVBoxLayout(this);
    todo->addLayout(arriba);
    todo->addWidget(tabla_, 1);
    todo->addLayout(abajo);
    resize(1180, 420);

    connect(desde_, &QDateEdit::dateChanged, this, &DialogoMarcasGuardadas::cargar);
    connect(actualizar, &QPushButton::clicked, this, &DialogoMarcasGuardadas::cargar);
    connect(cerrar, &QPushButton::clicked, this, &QDialog::accept);
    cargar();
}

void DialogoMarcasGuardadas::cargar() {
    try {
        llenar(KeptRecord(diario_).leer(desde_->date().toString(Qt::ISODate)));
    } catch (const Error& e) {
        tabla_->setRowCount(0);
        resumen_->setText(QStringLiteral("No se pudo leer el diario de marcaciones: ") + e.text());
    }
}

void DialogoMarcasGuardadas::llenar(const QList<MarcaRegistrada>& filas) {
    tabla_->setRowCount(int(filas.size()));
    for (int i = 0; i < filas.size(); ++i) {
        const MarcaRegistrada& m = filas[i];
        const QStringList celdas = {
            m.guardada, enviadaOEspera(m), m.cedula, m.persona, tituloDeResultado(m.resultado),
            m.hora,     m.estacion,        m.detalle};
        for (int c = 0; c < celdas.size(); ++c) {
            auto* item = new QTableWidgetItem(celdas[c]);
            item->setToolTip(celdas[c]);
            if (const QColor fondo = fondoDe(m); fondo.isValid())
                item->setBackground(fondo);
            tabla_->setItem(i, c, item);
        }
    }
    tabla_->resizeColumnsToContents();
    const CuentaDeRegistro c = contar(filas);
    resumen_->setText(QStringLiteral("En espera: ") + QString::number(c.espera) +
                      QStringLiteral("   Salidas sin confirmar (deben marcar de nuevo): ") +
                      QString::number(c.sinConfirmar));
}

void mostrarMarcasGuardadas(Station& st, const KeptScans* guardadas, QWidget* ventana) {
    if (conDiario(st, guardadas)) {
        DialogoMarcasGuardadas dialogo(guardadas->diario(), ventana);
        dialogo.exec();
    }
}

} // namespace velmar
