-- A small packing room: boxes of two customers, bunches not yet packed.
INSERT INTO flores VALUES ('FRE','ROJO','FREEDOM'), ('VEN','BLANCO','VENDELA');
INSERT INTO variedad VALUES ('FRE050','FREEDOM 50 CMS'), ('VEN040','VENDELA 40 CMS');
INSERT INTO clientes VALUES ('C1','FLORES DEL MUNDO','FDM'), ('C2','ROSAS EXPRESS','RXP');
INSERT INTO envoltura VALUES (1,'CARTON'), (2,'PLASTICO');
INSERT INTO usuario (usu_nombre, usu_permiso, usu_login, usu_password) VALUES ('ADMINISTRADOR', ' ADMIN ', 'admin', password('clave'));
INSERT INTO personal (personal_id, cedula, nombres, apellidos) VALUES (7, '1712345678', 'MARIA JOSE', 'GUAMAN');
INSERT INTO prepacking (packing, caja, cod_client, guia_aerea, marca) VALUES (851,3,'C1','MAWB-851/HAWB-3','MARCA 851-3'), (851,4,'C2','MAWB-851/HAWB-4','MARCA 851-4'), (852,3,'C2','MAWB-852/HAWB-3','MARCA 852-3');
INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, cod_client, estado, observa, tipo_env) VALUES ('B00001',851,3,'FRE050',10,'C1','R',NULL,1), ('B00002',851,3,'VEN040',15,'C2','R',NULL,1), ('B00003',851,4,'FRE050',20,'C2','R',NULL,1), ('B00004',852,3,'VEN040',25,'C2','R',NULL,1);
INSERT INTO bunche (num_bunch, cod_varie, num_tallos, estado, tipo_env) VALUES ('D-9001','FRE050',25,NULL,1), ('D-9002','VEN040',20,'',2), ('D-9003','VEN040',12,NULL,NULL);
