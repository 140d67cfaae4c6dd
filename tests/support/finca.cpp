#include "finca.h"

namespace velmar::test {

void cargarFinca(Conexion& db) {
    QStringList s;
    s << "INSERT INTO flores VALUES ('FRE','ROJO','FREEDOM'), ('RNB','MIX','RAINBOW MIX'), "
         "('VEN','BLANCO','VENDELA'), ('PIN','ROSADO','PINK FLOYD')";
    s << "INSERT INTO variedad VALUES ('FRE040','FREEDOM 40 CMS'), ('FRE050','FREEDOM 50 CMS'), "
         "('FRE060','FREEDOM 60 CMS'), ('RNB050','RAINBOW 50 CMS'), "
         "('VEN040','VENDELA 40 CMS'), ('VEN060','VENDELA 60 CMS'), "
         "('PIN050','PINK FLOYD 50 CMS'), ('PIN070','PINK FLOYD 70 CMS')";
    s << "INSERT INTO clientes VALUES ('C1','FLORES DEL MUNDO','FDM'), "
         "('C2','ROSAS EXPRESS','RXP'), ('C3','BOUQUET HOUSE','BQH')";
    s << "INSERT INTO envoltura VALUES (1,'CARTON'), (2,'PLASTICO')";
    s << "INSERT INTO usuario (usu_nombre, usu_permiso, usu_login, usu_password) VALUES "
         "('ADMINISTRADOR', ' ADMIN ', 'admin', password('clave'))";
    s << "INSERT INTO personal (personal_id, cedula, nombres, apellidos) VALUES "
         "(7, '1712345678', 'MARIA JOSE', 'GUAMAN')";

    const QStringList variedades = {"FRE040", "RNB050", "VEN040", "FRE050",
                                    "PIN050", "VEN060", "FRE060", "PIN070"};
    const QStringList clientes = {"C1", "C2", "C3"};
    QStringList plan;
    QStringList bunches;
    int id = 0;
    for (int p = 0; p < kPackingsFinca.size(); ++p) {
        const QString packing = kPackingsFinca[p];
        const QString cliente = clientes[p % clientes.size()];
        for (int c = 0; c < kCajasFinca.size(); ++c) {
            const QString caja = kCajasFinca[c];
            plan << QStringLiteral("(%1,%2,'%3','MAWB-%1/HAWB-%2','MARCA %1-%2')")
                        .arg(packing, caja, cliente);
            // Each box its own mix: 2 to 5 varieties, 1 to 3 bunches of each.
            const int nVariedades = 2 + (p + 2 * c) % 4;
            for (int v = 0; v < nVariedades; ++v) {
                const QString variedad = variedades[(p * 3 + c * 5 + v) % variedades.size()];
                for (int k = 0; k <= (p + c + v) % 3; ++k) {
                    // The second customer of a box makes a second grid column.
                    const QString delBunche =
                        (v == 1 && c == 1) ? clientes[(p + 1) % clientes.size()] : cliente;
                    ++id;
                    bunches << QStringLiteral("('B%1',%2,%3,'%4',%5,'%6','R',NULL,1)")
                                   .arg(id, 5, 10, QLatin1Char('0'))
                                   .arg(packing, caja, variedad)
                                   .arg(10 + 5 * ((id + v) % 4))
                                   .arg(delBunche);
                }
            }
        }
    }
    s << "INSERT INTO prepacking (packing, caja, cod_client, guia_aerea, marca) VALUES " +
             plan.join(',');
    s << "INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, cod_client, "
         "estado, observa, tipo_env) VALUES " +
             bunches.join(',');
    s << "INSERT INTO bunche (num_bunch, cod_varie, num_tallos, estado, tipo_env) VALUES "
         "('D-9001','FRE050',25,NULL,1), ('D-9002','VEN040',20,'',2), "
         "('D-9003','PIN070',12,NULL,NULL)";
    for (const QString& sentencia : s)
        db.ejecutar(sentencia);
}

} // namespace velmar::test
