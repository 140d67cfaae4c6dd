#include "finca.h"

namespace velmar::test {

void cargarFinca(Conexion& db) {
    const QStringList variedades = {"FRE040", "RNB050", "VEN040", "FRE050",
                                    "PIN050", "VEN060", "FRE060", "PIN070"};
    const QStringList clientes = {"C1", "C2", "C3"};
    QStringList plan, bunches;
    int id = 0;
    for (int p = 0; p < kPackingsFinca.size(); ++p) {
        const QString& cliente = clientes[p % clientes.size()];
        for (int c = 0; c < kCajasFinca.size(); ++c) {
            plan << QStringLiteral("(%1,%2,'%3','MAWB-%1/HAWB-%2','MARCA %1-%2')")
                        .arg(kPackingsFinca[p], kCajasFinca[c], cliente);
            // Each box its own mix: 2 to 5 varieties, 1 to 3 bunches of each;
            // a second customer in a box makes a second grid column.
            for (int v = 0; v < 2 + (p + 2 * c) % 4; ++v)
                for (int k = 0; k <= (p + c + v) % 3; ++k, ++id)
                    bunches << QStringLiteral("('B%1',%2,%3,'%4',%5,'%6','R',NULL,1)")
                                   .arg(id + 1, 5, 10, QLatin1Char('0'))
                                   .arg(kPackingsFinca[p], kCajasFinca[c],
                                        variedades[(p * 3 + c * 5 + v) % variedades.size()])
                                   .arg(10 + 5 * ((id + 1 + v) % 4))
                                   .arg(v == 1 && c == 1 ? clientes[(p + 1) % clientes.size()]
                                                         : cliente);
        }
    }
    for (const QString& s :
         {QStringLiteral(
              "INSERT INTO flores VALUES ('FRE','ROJO','FREEDOM'), ('RNB','MIX','RAINBOW MIX'), "
              "('VEN','BLANCO','VENDELA'), ('PIN','ROSADO','PINK FLOYD')"),
          QStringLiteral("INSERT INTO variedad VALUES ('FRE040','FREEDOM 40 CMS'), "
                         "('FRE050','FREEDOM 50 CMS'), ('FRE060','FREEDOM 60 CMS'), "
                         "('RNB050','RAINBOW 50 CMS'), ('VEN040','VENDELA 40 CMS'), "
                         "('VEN060','VENDELA 60 CMS'), ('PIN050','PINK FLOYD 50 CMS'), "
                         "('PIN070','PINK FLOYD 70 CMS')"),
          QStringLiteral("INSERT INTO clientes VALUES ('C1','FLORES DEL MUNDO','FDM'), "
                         "('C2','ROSAS EXPRESS','RXP'), ('C3','BOUQUET HOUSE','BQH')"),
          QStringLiteral("INSERT INTO envoltura VALUES (1,'CARTON'), (2,'PLASTICO')"),
          QStringLiteral("INSERT INTO usuario (usu_nombre, usu_permiso, usu_login, "
                         "usu_password) VALUES ('ADMINISTRADOR', ' ADMIN ', 'admin', "
                         "password('clave'))"),
          QStringLiteral("INSERT INTO personal (personal_id, cedula, nombres, apellidos) "
                         "VALUES (7, '1712345678', 'MARIA JOSE', 'GUAMAN')"),
          "INSERT INTO prepacking (packing, caja, cod_client, guia_aerea, marca) VALUES " +
              plan.join(','),
          "INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, cod_client, "
          "estado, observa, tipo_env) VALUES " +
              bunches.join(','),
          // not yet packed (state empty), for the write-off
          QStringLiteral("INSERT INTO bunche (num_bunch, cod_varie, num_tallos, estado, "
                         "tipo_env) VALUES ('D-9001','FRE050',25,NULL,1), "
                         "('D-9002','VEN040',20,'',2), ('D-9003','PIN070',12,NULL,NULL)")})
        db.ejecutar(s);
}

} // namespace velmar::test
