#include "finca.h"

namespace velmar::test {

void cargarFinca(Conexion& db) {
    const QStringList packings = {"851", "852", "853", "854", "855"}, cajas = {"3", "4"};
    const QStringList variedades = {"FRE040", "RNB050", "VEN040", "FRE050",
                                    "PIN050", "VEN060", "FRE060", "PIN070"};
    const QStringList clientes = {"C1", "C2", "C3"};
    QStringList plan, bunches;
    int id = 0;
    for (int p = 0; p < packings.size(); ++p) {
        const QString& cliente = clientes[p % clientes.size()];
        for (int c = 0; c < cajas.size(); ++c) {
            plan << QStringLiteral("(%1,%2,'%3','MAWB-%1/HAWB-%2','MARCA %1-%2')")
                        .arg(packings[p], cajas[c], cliente);
            // Each box its own mix: 2 to 5 varieties, 1 to 3 bunches of each;
            // a second customer in a box makes a second grid column.
            for (int v = 0; v < 2 + (p + 2 * c) % 4; ++v)
                for (int k = 0; k <= (p + c + v) % 3; ++k, ++id)
                    bunches << QStringLiteral("('B%1',%2,%3,'%4',%5,'%6','R',NULL,1)")
                                   .arg(id + 1, 5, 10, QLatin1Char('0'))
                                   .arg(packings[p], cajas[c],
                                        variedades[(p * 3 + c * 5 + v) % variedades.size()])
                                   .arg(10 + 5 * ((id + 1 + v) % 4))
                                   .arg(v == 1 && c == 1 ? clientes[(p + 1) % clientes.size()]
                                                         : cliente);
        }
    }
    QStringList s = sentencias(
        "INSERT INTO flores VALUES ('FRE','ROJO','FREEDOM'), ('RNB','MIX','RAINBOW MIX'), "
        "('VEN','BLANCO','VENDELA'), ('PIN','ROSADO','PINK FLOYD');\n"
        "INSERT INTO variedad VALUES ('FRE040','FREEDOM 40 CMS'), ('FRE050','FREEDOM 50 CMS'), "
        "('FRE060','FREEDOM 60 CMS'), ('RNB050','RAINBOW 50 CMS'), ('VEN040','VENDELA 40 CMS'), "
        "('VEN060','VENDELA 60 CMS'), ('PIN050','PINK FLOYD 50 CMS'), "
        "('PIN070','PINK FLOYD 70 CMS');\n"
        "INSERT INTO clientes VALUES ('C1','FLORES DEL MUNDO','FDM'), ('C2','ROSAS EXPRESS','RXP'),"
        " ('C3','BOUQUET HOUSE','BQH');\n"
        "INSERT INTO envoltura VALUES (1,'CARTON'), (2,'PLASTICO');\n"
        "INSERT INTO usuario (usu_nombre, usu_permiso, usu_login, usu_password) VALUES "
        "('ADMINISTRADOR', ' ADMIN ', 'admin', password('clave'));\n"
        "INSERT INTO personal (personal_id, cedula, nombres, apellidos) VALUES (7, '1712345678', "
        "'MARIA JOSE', 'GUAMAN');\n");
    s << "INSERT INTO prepacking (packing, caja, cod_client, guia_aerea, marca) VALUES " +
             plan.join(',')
      << "INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, cod_client, "
         "estado, observa, tipo_env) VALUES " +
             bunches.join(',')
      // not yet packed (state empty), for the write-off
      << "INSERT INTO bunche (num_bunch, cod_varie, num_tallos, estado, tipo_env) VALUES "
         "('D-9001','FRE050',25,NULL,1), ('D-9002','VEN040',20,'',2), "
         "('D-9003','PIN070',12,NULL,NULL)";
    for (const QString& sentencia : s)
        db.ejecutar(sentencia);
}

void cargarFincaEtiquetas() {
    // packing 100: a waybill with master and house numbers; 200: master only; 300: none
    QStringList s = sentencias(
        "INSERT INTO flores VALUES ('FRE','ROJO','FREEDOM'), ('RNB','MIX','RAINBOW MIX'), "
        "('VEN','blanco','VENDELA'), ('CAN','Rojo','CANDY');\n"
        "INSERT INTO variedad VALUES ('FRE040','FREEDOM 40 CMS'), ('FRE050','FREEDOM 50 CMS'), "
        "('RNB040','RAINBOW 40 CMS'), ('RNB050','RAINBOW 50 CMS'), ('VEN040','VENDELA 40 CMS'), "
        "('VEN050','VENUS 50 CMS'), ('VEN060','VERSILIA 60 CMS'), ('VEN070','VOODOO 70 CMS'), "
        "('VEN080','VITALITY 80 CMS'), ('MIN050','MINI'), ('PIN060','PINK O''HARA 60 CMS'), "
        "('NUS070','ÑUSTA \"X\\\\Z\" 70 CMS'), ('CAN060','CANDY 60 CMS');\n"
        "INSERT INTO clientes (cod_client, cnombre) VALUES ('C1','SUPERFLORES INTERNACIONAL'), "
        "('C2','ROSAS DEL NORTE'), ('C3',NULL), ('C4','D''Amé \"X\\\\Y\" Ltda');\n"
        "INSERT INTO prepacking (packing, caja, guia_aerea, marca) VALUES "
        "(100,1,'MAWB-123/HAWB-456','MARCA UNO'), (100,2,'MAWB-123/HAWB-456',NULL), "
        "(100,3,'MAWB-123/HAWB-456','CAJA TRES MARCADA LARGA'), (100,4,'MAWB-123/HAWB-456',''), "
        "(100,5,'',NULL), (100,7,'MAWB-123/HAWB-456','SIETE'), "
        "(100,8,'MAWB-123/HAWB-456','Ω \"OCHO\" \\\\ 8'), (200,1,'999-0000','DOS');\n");
    // 100/7: sixteen varieties, 31 grouped rows
    QStringList v, siete;
    for (int i = 1; i <= 16; ++i) {
        v << QString::asprintf("('V%02d060','VAR%02d 60 CMS')", i, i);
        siete << QString::asprintf("V%02d060/10/C1", i);
        if (i > 1)
            siete << QString::asprintf("V%02d060/10/C2", i);
    }
    s << "INSERT INTO variedad VALUES " + v.join(',');
    // packing/box: variety/stems/customer of each bunch
    const QList<std::pair<QString, QString>> cajas = {
        // red and rainbow; one variety for two customers
        {"100/1", "FRE040/25/C1 FRE040/25/C1 RNB050/20/C1 VEN060/20/C1 VEN060/20/C2"},
        // rainbow; no mark of its own
        {"100/2", "RNB040/20/C2 RNB040/20/C2 VEN050/15/C2"},
        // colour, five stem lengths, customer without a name, mark of box 3
        {"100/5", "VEN040/10/C3 VEN050/12/C3 VEN060/14/C3 VEN070/16/C3 VEN080/18/C3 "
                  "VEN080/18/C3"},
        // a name too short to shorten, quotes, backslashes, accents
        {"100/8", "FRE040/25/C4 MIN050/10/C4 MIN050/10/C4 PIN060/12/C4 NUS070/14/C4"},
        {"200/1", "FRE050/30/C1"},
        {"300/1", "CAN060/12/C2"},
        {"100/7", siete.join(' ')}};
    QStringList b;
    for (const auto& [caja, bunches] : cajas)
        for (const QString& bunch : bunches.split(' ')) {
            const QStringList c = (caja + '/' + bunch).split('/');
            b << QStringLiteral("('b%1',%2,%3,'%4',%5,'%6')")
                     .arg(b.size())
                     .arg(c[0], c[1], c[2], c[3], c[4]);
        }
    s << "INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, cod_client) "
         "VALUES " +
             b.join(',');
    for (const QString& sentencia : s)
        TestDb::get().sql(sentencia);
}

} // namespace velmar::test
