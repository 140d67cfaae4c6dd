#include "labels/box_labels.h"

#include "db/errors.h"
#include "db/named_lock.h"
#include "labels/epl2_writer.h"
#include "station/velmo.h"

#include <algorithm>
#include <optional>

namespace velmar {

namespace {

const QString kRegistro = QStringLiteral("EC42-QMBR-07-3316");
const QString kEncabezadoFincas = QStringLiteral("QUIMBARO/MIRDAROSES");
// The small label's house waybill goes into the band that its empty line 2
// leaves under the registration code: inside the form, clear of "AWB #".
const QString kPrefijoHawbPeq = QStringLiteral("A50,60,0,3,2,2,N,");

const QString kFiltroRojo = QStringLiteral("' and (flores.color='red' or flores.color='rojo')");
const QString kFiltroRainbow = QStringLiteral("' and flores.variedad LIKE '%RAINBOW%'");

constexpr int kTopeEntradas = 30;

QString n(qint64 v) {
    return QString::number(v);
}

QString sqlColor(Station& st, const QString& packing, const QString& caja, const QString& filtro) {
    return QStringLiteral("select distinct flores.color from") +
           QStringLiteral(" bunche , flores Where Mid(cod_varie, 1, 3) = flores.codigo ") +
           QStringLiteral(" and bunche.num_pack='") + st.db.esc(packing) +
           QStringLiteral("' and caja='") + st.db.esc(caja) + filtro;
}

// "RED" when any bunch is of a red variety, else "RAINBOW" or "COLOR".
QString claseColor(Station& st, const QString& packing, const QString& caja) {
    if (abrir_consulta(st, sqlColor(st, packing, caja, kFiltroRojo)).count() > 0)
        return QStringLiteral("RED");
    if (abrir_consulta(st, sqlColor(st, packing, caja, kFiltroRainbow)).count() > 0)
        return QStringLiteral("RAINBOW");
    return QStringLiteral("COLOR");
}

RecordSet consultaCaja(Station& st, const QString& packing, const QString& caja) {
    return abrir_consulta(
        st,
        QStringLiteral("SELECT bunche.caja, variedad.vnombre, clientes.cnombre, "
                       "variedad.cod_varie, bunche.num_pack, count(bunche.num_bunch) AS "
                       "bunchest, sum(bunche.num_tallos) AS botones ") +
            QStringLiteral(" FROM bunche, variedad, clientes ") +
            QStringLiteral(" WHERE bunche.num_pack = '") + st.db.esc(packing) +
            QStringLiteral("' AND bunche.cod_varie = variedad.cod_varie And bunche.cod_client = "
                           "clientes.cod_client and caja='") +
            st.db.esc(caja) +
            QStringLiteral("' GROUP BY bunche.caja, variedad.vnombre, clientes.cnombre, "
                           "variedad.cod_varie, bunche.num_pack") +
            QStringLiteral(" ORDER BY bunche.caja, variedad.cod_varie"));
}

void buscarGuia(Station& st, const QString& packing) {
    st.guia_actual.clear();
    st.guia_actual = RecordSet::textOf(buscar_valor(
        st, QStringLiteral("guia_aerea"), QStringLiteral("prepacking"),
        QStringLiteral("packing='") + st.db.esc(packing) + QStringLiteral("' and guia_aerea<>''")));
}

QString numeroComoTexto(double v) {
    if (v == double(qint64(v)))
        return QString::number(qint64(v));
    return QString::number(v, 'g', 15);
}

// The mark of the box, or of the nearest lower box of the packing that has one.
QString buscarMarca(Station& st, const QString& packing, const QString& caja) {
    QString marca;
    bool esNumero = false;
    double v = caja.trimmed().toDouble(&esNumero);
    if (!esNumero)
        return marca;
    QString actual = caja;
    while (marca.isEmpty() && v > 0) {
        marca = RecordSet::textOf(buscar_valor(
            st, QStringLiteral("marca"), QStringLiteral("prepacking"),
            QStringLiteral("packing='") + st.db.esc(packing) + QStringLiteral("' and caja='") +
                st.db.esc(actual) + QStringLiteral("'")));
        v -= 1;
        actual = numeroComoTexto(v);
    }
    return marca;
}

QString clienteDe(RecordSet& caja) {
    caja.moveFirst();
    return caja.text(QStringLiteral("cnombre")).left(12);
}

// A count or sum as the SQL text places it bare: Null counts as 0.
QString cantidad(const RecordSet& rs, const QString& columna) {
    return rs.isNull(columna) ? QStringLiteral("0") : rs.text(columna);
}

qint64 valorNumerico(const QVariant& v) {
    if (v.isNull())
        return 0;
    return qint64(v.toDouble());
}

// The stem length: the leading number of the last two characters of the code.
QString largoTallo(const QString& codVarie) {
    return n(qint64(valor_numerico(codVarie.right(2))));
}

// tmp_caja is one table for every station: its fill and read-back run under a
// named lock on the server, so two stations printing at once do not mix rows.
// The name carries the database's, as each farm database has its own table.
const QString kCandado = QStringLiteral("CONCAT('velmar-tmp_caja-', MD5(IFNULL(DATABASE(), '')))");

// Waits for another station's label run; past it the label is not printed.
void tomarTmpCaja(NamedLock& candado) {
    if (!candado.tomado())
        throw DbError(QStringLiteral("tmp_caja está ocupada por otra estación"));
}

// Empties tmp_caja and writes one row per grouped row of the box query. A
// rejected statement ends the label: a missing row would print a wrong one.
void llenarTmpCaja(Station& st, RecordSet& caja) {
    st.db.ejecutar(QStringLiteral("delete from tmp_caja"));
    caja.moveFirst();
    while (!caja.eof()) {
        const QString vnombre = caja.text(QStringLiteral("vnombre"));
        const QString corto = vnombre.size() >= 7 ? vnombre.left(vnombre.size() - 7) : QString();
        st.db.ejecutar(QStringLiteral("insert into tmp_caja values(") +
                       st.db.num(cantidad(caja, QStringLiteral("caja"))) + QStringLiteral(",") +
                       QStringLiteral("'") + st.db.esc(vnombre) + QStringLiteral("',") +
                       st.db.num(cantidad(caja, QStringLiteral("bunchest"))) + QStringLiteral(",") +
                       st.db.num(cantidad(caja, QStringLiteral("botones"))) + QStringLiteral(",") +
                       QStringLiteral("'") + st.db.esc(corto) + QStringLiteral("',") +
                       QStringLiteral("'") + st.db.esc(caja.text(QStringLiteral("num_pack"))) +
                       QStringLiteral("',") + QStringLiteral("'") +
                       st.db.esc(largoTallo(caja.text(QStringLiteral("cod_varie")))) +
                       QStringLiteral("',") + QStringLiteral("'") + QStringLiteral("TAB") +
                       QStringLiteral("')"));
        caja.moveNext();
    }
}

// The first `tope` values of a one-column query, in the order they come.
QStringList valores(Station& st, const QString& sql, const QString& columna, int tope) {
    RecordSet rs = abrir_consulta(st, sql);
    const int cuantos = std::min(rs.count(), tope);
    QStringList out;
    for (int i = 0; i < cuantos; ++i) {
        out << rs.text(columna);
        rs.moveNext();
    }
    return out;
}

QStringList columnas(Station& st, const QString& caja, const QString& orden) {
    return valores(st,
                   QStringLiteral("select distinct subcliente from tmp_caja where caja=") +
                       st.db.num(caja) + orden,
                   QStringLiteral("subcliente"), 4);
}

QStringList filas(Station& st, const QString& caja, int tope) {
    return valores(st,
                   QStringLiteral("select distinct cliente from tmp_caja where caja=") +
                       st.db.num(caja) + QStringLiteral(" order by cliente"),
                   QStringLiteral("cliente"), tope);
}

struct Entrada {
    QString cliente;
    QString subcliente;
    QString bunches;
};

struct Totales {
    qint64 bunches = 0;
    qint64 botones = 0;
};

// The first 30 entries of the grid, and their totals.
QVector<Entrada> entradas(Station& st, const QString& caja, Totales& totales) {
    RecordSet rs = abrir_consulta(
        st,
        QStringLiteral("select cliente, subcliente, bunches,botones from tmp_caja where caja=") +
            st.db.num(caja) + QStringLiteral(" order by cliente"));
    const int cuantas = std::min(rs.count(), kTopeEntradas);
    QVector<Entrada> out;
    for (int k = 0; k < cuantas; ++k) {
        out.append({rs.text(QStringLiteral("cliente")), rs.text(QStringLiteral("subcliente")),
                    rs.text(QStringLiteral("bunches"))});
        totales.bunches += valorNumerico(rs.value(QStringLiteral("bunches")));
        totales.botones += valorNumerico(rs.value(QStringLiteral("botones")));
        rs.moveNext();
    }
    return out;
}

// The coordinate of the last slot holding `valor`, or `defecto`. Only filled
// slots take part: an empty value must not land on a row that has no heading.
int posicion(const QStringList& casillas, const QString& valor, int defecto, int base, int paso) {
    int p = defecto;
    for (int m = 0; m < casillas.size(); ++m)
        if (casillas[m] == valor)
            p = base + paso * m;
    return p;
}

QString totalLiteral(qint64 total) {
    return QStringLiteral("\"TOTAL  \"\"") + n(total) + QStringLiteral("\"");
}

void cabecera(Epl2Label& et, const QString& ancho, const QString& largo) {
    et.linea(QStringLiteral("N"));
    et.linea(ancho);
    et.linea(largo);
    et.linea(QStringLiteral("S2"));
    et.linea(QStringLiteral("D8"));
    et.linea(QStringLiteral("ZT"));
    et.linea(QStringLiteral("TTh:m"));
    et.linea(QStringLiteral("TDy2.mn.dd"));
}

void fin(Epl2Label& et) {
    et.linea(QStringLiteral("P2"));
    et.linea(QString());
}

// Where a label draws its grid. Headings come from tmp_caja, which is filled
// and read back under the server lock so another station cannot mix rows in.
struct Rejilla {
    QString ordenColumnas; // how the column headings are ordered
    int columnaX, columnaPaso;
    QString columnaCola; // ",210,0,3,1,2,N," after the heading's x
    QString reglaBajoTitulos;
    int filasTope, filasImpresas, filaCorte;
    QString filaCabeza; // "A60," before the row heading's y
    int filaY, filaPaso;
    QString filaCola;
    int entradasImpresas;
    int entradaX, entradaY; // the first heading's place for entries
    QString entradaCola;
};

constexpr int kPorDefectoX = 400;
constexpr int kPorDefectoY = 255;

Totales escribirRejilla(Station& st, Epl2Label& et, RecordSet& grupos, const QString& caja,
                        const Rejilla& r) {
    NamedLock candado(st.db, kCandado, 10);
    tomarTmpCaja(candado);
    llenarTmpCaja(st, grupos);

    const QStringList cols = columnas(st, caja, r.ordenColumnas);
    for (int i = 0; i < cols.size(); ++i)
        et.texto(QStringLiteral("A") + n(r.columnaX + r.columnaPaso * i) + r.columnaCola, cols[i]);
    et.linea(r.reglaBajoTitulos);

    const QStringList fils = filas(st, caja, r.filasTope);
    for (int j = 0; j < fils.size() && j < r.filasImpresas; ++j)
        et.texto(r.filaCabeza + n(r.filaY + r.filaPaso * j) + r.filaCola,
                 fils[j].left(r.filaCorte));

    Totales totales;
    const QVector<Entrada> es = entradas(st, caja, totales);
    for (int k = 0; k < es.size() && k < r.entradasImpresas; ++k) {
        const int x = posicion(cols, es[k].subcliente, kPorDefectoX, r.entradaX, r.columnaPaso);
        const int y = posicion(fils, es[k].cliente, kPorDefectoY, r.entradaY, r.filaPaso);
        et.texto(QStringLiteral("A") + n(x) + QStringLiteral(",") + n(y) + r.entradaCola,
                 es[k].bunches.left(14));
    }
    return totales;
}

// The common frame: pointer and captions, the label body (which gives the
// label, or nothing when the box has no bunches), one send, the error mapping.
template <typename Cuerpo> void conMarco(Station& st, Cuerpo&& cuerpo) {
    st.busy.setPuntero(Busy::kReloj);
    st.busy.setCaption(QStringLiteral("Inicializando ..."), true);
    st.busy.setCaption(QStringLiteral("Buscando ..."), true);
    QString mensaje;
    try {
        const std::optional<QByteArray> etiqueta = cuerpo();
        if (etiqueta) {
            st.printer.send(*etiqueta);
            st.ultima_etiqueta = *etiqueta;
        }
        st.busy.setPuntero(Busy::kFlecha);
        return;
    } catch (const PrinterError&) {
        mensaje = kImpresoraNoLista;
    } catch (const DbError&) {
        mensaje = kErrorRed;
    } catch (const Error&) {
        // any other failure ends the label quietly: half a label is never sent
    }
    st.busy.setPuntero(Busy::kFlecha);
    st.busy.setCaption(Busy::kCaptionError);
    if (!mensaje.isEmpty())
        st.prompts.msgbox(mensaje, kSoloOk);
}

} // namespace

void imprimir_detalle_peq(Station& st, const QString& packing, const QString& caja,
                          const QString& /*guia*/) {
    conMarco(st, [&]() -> std::optional<QByteArray> {
        buscarGuia(st, packing);
        const QString clase = claseColor(st, packing, caja);
        RecordSet grupos = consultaCaja(st, packing, caja);
        if (grupos.count() <= 0)
            return std::nullopt;
        const QString marca = buscarMarca(st, packing, caja);
        const QString cliente = clienteDe(grupos);

        Epl2Label et;
        cabecera(et, QStringLiteral("q680"), QStringLiteral("Q795, 5 + 0"));
        et.texto(QStringLiteral("A50,5,0,3,2,2,N,"), kRegistro);
        et.texto(QStringLiteral("A15,50,0,4,3,3,N,"), QString());
        et.linea(QStringLiteral("LO24,115,625,2"));
        et.texto(QStringLiteral("A20,130,0,4,2,2,N,"), cliente);
        et.texto(QStringLiteral("A450,130,0,4,2,2,N,"), clase);
        et.linea(QStringLiteral("LO24,180,625,2"));
        et.texto(QStringLiteral("A55,200,0,3,2,2,N,"), QStringLiteral("VARIETY"));
        et.texto(QStringLiteral("A450,200,0,3,2,2,N,"),
                 QStringLiteral("[# ") + caja + QStringLiteral(" ]"));
        const Totales totales =
            escribirRejilla(st, et, grupos, caja,
                            {QString(), 300, 70, QStringLiteral(",210,0,3,1,2,N,"),
                             QStringLiteral("LO24,250,625,2"), 12, 12, 15, QStringLiteral("A60,"),
                             265, 40, QStringLiteral(",0,3,1,2,N,"), kTopeEntradas, 300, 265,
                             QStringLiteral(",0,3,1,2,N,")});
        et.linea(QStringLiteral("LO24,760,625,2"));
        et.textoLiteral(QStringLiteral("A47,780,0,3,2,1,N,"), totalLiteral(totales.bunches));
        et.texto(QStringLiteral("A387,780,0,3,2,1,N,"),
                 QStringLiteral("STEMS ") + n(totales.botones));
        et.texto(QStringLiteral("A47,810,0,3,2,2,N,"), marca.left(15));
        et.texto(QStringLiteral("A50,850,0,3,2,2,N,"),
                 QStringLiteral("AWB #") + extraer_parte(st.guia_actual, 1, QStringLiteral("/")));
        et.texto(kPrefijoHawbPeq,
                 QStringLiteral("HAWB #") + extraer_parte(st.guia_actual, 2, QStringLiteral("/")));
        fin(et);
        return et.bytes();
    });
}

void imprimir_detalle(Station& st, const QString& packing, const QString& caja,
                      const QString& /*guia*/) {
    conMarco(st, [&]() -> std::optional<QByteArray> {
        const QString clase = claseColor(st, packing, caja);
        RecordSet grupos = consultaCaja(st, packing, caja);
        if (grupos.count() <= 0)
            return std::nullopt;
        buscarGuia(st, packing);
        const QString marca = buscarMarca(st, packing, caja);
        const QString cliente = clienteDe(grupos);

        Epl2Label et;
        et.linea(QStringLiteral("N"));
        et.texto(QStringLiteral("A10,10,0,4,2,2,N,"), kEncabezadoFincas);
        et.texto(QStringLiteral("A10,60,0,3,2,2,N,"), kRegistro);
        et.linea(QStringLiteral("LO24,100,825,2"));
        et.texto(QStringLiteral("A10,110,0,3,2,2,N,"),
                 QStringLiteral("AWB #") + extraer_parte(st.guia_actual, 1, QStringLiteral("/")));
        et.texto(QStringLiteral("A10,150,0,3,2,2,N,"),
                 QStringLiteral("HAWB #") + extraer_parte(st.guia_actual, 2, QStringLiteral("/")));
        et.linea(QStringLiteral("LO24,190,825,2"));
        et.texto(QStringLiteral("A100,200,0,4,2,3,N,"), QStringLiteral("ROSES"));
        et.texto(QStringLiteral("A470,210,0,3,2,2,N,"),
                 QStringLiteral("[# ") + caja + QStringLiteral(" ]"));
        et.linea(QStringLiteral("LO24,264,825,2"));
        et.texto(QStringLiteral("A15,270,0,4,2,3,N,"), cliente);
        et.texto(QStringLiteral("A450,290,0,3,2,2,N,"), clase);
        et.linea(QStringLiteral("LO24,340,825,2"));
        et.texto(QStringLiteral("A40,360,0,3,2,2,N,"), QStringLiteral("VARIETY"));
        // only seven rows and seven entries fit; the totals count up to thirty
        const Totales totales = escribirRejilla(
            st, et, grupos, caja,
            {QStringLiteral(" order by 1"), 355, 95, QStringLiteral(",360,0,3,2,2,N,"),
             QStringLiteral("LO24,410,825,2"), 14, 7, 14, QStringLiteral("A50,"), 425, 45,
             QStringLiteral(",0,2,2,2,N,"), 7, 378, 425, QStringLiteral(",0,2,2,2,N,")});
        et.linea(QStringLiteral("LO24,740,625,2"));
        et.textoLiteral(QStringLiteral("A47,760,0,3,2,2,N,"), totalLiteral(totales.bunches));
        et.texto(QStringLiteral("A47,800,0,3,2,1,N,"),
                 QStringLiteral("STEMS ") + n(totales.botones));
        et.linea(QStringLiteral("LO24,830,825,2"));
        et.texto(QStringLiteral("A40,850,0,3,2,2,N,"), marca.left(15));
        fin(et);
        return et.bytes();
    });
}

void imprimir_detalle_bqt(Station& st, const QString& packing, const QString& caja,
                          const QString& /*guia*/) {
    conMarco(st, [&]() -> std::optional<QByteArray> {
        QString color;
        {
            RecordSet rs = abrir_consulta(st, sqlColor(st, packing, caja, kFiltroRojo));
            if (rs.count() > 0)
                color = rs.text(QStringLiteral("color"));
        }
        RecordSet grupos = consultaCaja(st, packing, caja);
        if (grupos.count() <= 0)
            return std::nullopt;
        buscarGuia(st, packing);
        const QString marca = buscarMarca(st, packing, caja);
        const QString cliente = clienteDe(grupos);
        const QString clase = color == QLatin1String("RED") || color == QLatin1String("ROJO")
                                  ? QStringLiteral("BQT RED")
                                  : QStringLiteral("BQT COL");

        Epl2Label et;
        cabecera(et, QStringLiteral("q816"), QStringLiteral("Q1269 , 24 + 0"));
        et.texto(QStringLiteral("A50,10,0,3,2,2,N,"), kRegistro);
        et.texto(QStringLiteral("A50,70,0,3,2,2,N,"),
                 QStringLiteral("AWB #") + extraer_parte(st.guia_actual, 1, QStringLiteral("/")));
        et.texto(QStringLiteral("A50,140,0,3,2,2,N,"),
                 QStringLiteral("HAWB #") + extraer_parte(st.guia_actual, 2, QStringLiteral("/")));
        et.linea(QStringLiteral("LO24,198,825,2"));
        et.texto(QStringLiteral("A36,215,0,4,2,2,N,"), clase);
        et.texto(QStringLiteral("A426,212,0,3,2,2,N,"), QStringLiteral("QUIMBARO"));
        et.texto(QStringLiteral("A426,260,0,3,2,2,N,"), QStringLiteral("MIRDA ROSES"));
        et.linea(QStringLiteral("LO24,320,825,2"));
        et.texto(QStringLiteral("A55,330,0,4,2,3,N,"), cliente);
        et.texto(QStringLiteral("A550,330,0,3,2,2,N,"),
                 QStringLiteral("[# ") + caja + QStringLiteral(" ]"));
        et.linea(QStringLiteral("LO24,400,825,2"));
        et.texto(QStringLiteral("A40,410,0,3,2,2,N,"), QStringLiteral("VARIETY"));
        const Totales totales = escribirRejilla(
            st, et, grupos, caja,
            {QStringLiteral(" order by 1"), 405, 95, QStringLiteral(",410,0,3,2,2,N,"),
             QStringLiteral("LO24,450,825,2"), 14, 14, 14, QStringLiteral("A50,"), 465, 45,
             QStringLiteral(",0,2,2,2,N,"), kTopeEntradas, 408, 465,
             QStringLiteral(",0,2,2,2,N,")});
        et.linea(QStringLiteral("LO24,1110,825,2"));
        et.textoLiteral(QStringLiteral("A60,1130,0,3,2,2,N,"), totalLiteral(totales.bunches));
        et.texto(QStringLiteral("A450,1130,0,3,2,2,N,"),
                 QStringLiteral("STEMS ") + n(totales.botones));
        et.linea(QStringLiteral("LO24,1170,825,2"));
        et.texto(QStringLiteral("A40,1200,0,3,2,2,N,"), marca.left(15));
        fin(et);
        return et.bytes();
    });
}

void reimprimir_etiqueta(Station& st) {
    if (st.ultima_etiqueta.isEmpty()) {
        st.prompts.msgbox(kSinEtiqueta, kSoloOk);
        return;
    }
    st.busy.setPuntero(Busy::kReloj);
    try {
        st.printer.send(st.ultima_etiqueta);
        st.busy.setPuntero(Busy::kFlecha);
    } catch (const PrinterError&) {
        st.busy.setPuntero(Busy::kFlecha);
        st.busy.setCaption(Busy::kCaptionError);
        st.prompts.msgbox(kImpresoraNoLista, kSoloOk);
    }
}

} // namespace velmar
