-- The test farm the expected labels (kind_packing_box.epl) are printed from.
-- Packing 100: a waybill with master and house numbers; 200: master only;
-- 300: none. 100/1: red and rainbow, one variety for two customers; 100/2:
-- rainbow, no mark of its own; 100/5: colour, five stem lengths, a customer
-- without a name, the mark of box 3; 100/8: a name too short to shorten,
-- quotes, backslashes, accents (the customer's stored decomposed, as some
-- imports write it); 100/7: sixteen varieties, 31 grouped rows.
INSERT INTO flores VALUES ('FRE','ROJO','FREEDOM'), ('RNB','MIX','RAINBOW MIX'), ('VEN','blanco','VENDELA'), ('CAN','Rojo','CANDY');
INSERT INTO variedad VALUES ('FRE040','FREEDOM 40 CMS'), ('FRE050','FREEDOM 50 CMS'), ('RNB040','RAINBOW 40 CMS'), ('RNB050','RAINBOW 50 CMS'), ('VEN040','VENDELA 40 CMS'), ('VEN050','VENUS 50 CMS'), ('VEN060','VERSILIA 60 CMS'), ('VEN070','VOODOO 70 CMS'), ('VEN080','VITALITY 80 CMS'), ('MIN050','MINI'), ('PIN060','PINK O''HARA 60 CMS'), ('NUS070','ÑUSTA "X\\Z" 70 CMS'), ('CAN060','CANDY 60 CMS');
INSERT INTO clientes (cod_client, cnombre) VALUES ('C1','SUPERFLORES INTERNACIONAL'), ('C2','ROSAS DEL NORTE'), ('C3',NULL), ('C4','D''Amé "X\\Y" Ltda');
INSERT INTO prepacking (packing, caja, guia_aerea, marca) VALUES (100,1,'MAWB-123/HAWB-456','MARCA UNO'), (100,2,'MAWB-123/HAWB-456',NULL), (100,3,'MAWB-123/HAWB-456','CAJA TRES MARCADA LARGA'), (100,4,'MAWB-123/HAWB-456',''), (100,5,'',NULL), (100,7,'MAWB-123/HAWB-456','SIETE'), (100,8,'MAWB-123/HAWB-456','Ω "OCHO" \\ 8'), (200,1,'999-0000','DOS');
INSERT INTO variedad VALUES ('V01060','VAR01 60 CMS'),('V02060','VAR02 60 CMS'),('V03060','VAR03 60 CMS'),('V04060','VAR04 60 CMS'),('V05060','VAR05 60 CMS'),('V06060','VAR06 60 CMS'),('V07060','VAR07 60 CMS'),('V08060','VAR08 60 CMS'),('V09060','VAR09 60 CMS'),('V10060','VAR10 60 CMS'),('V11060','VAR11 60 CMS'),('V12060','VAR12 60 CMS'),('V13060','VAR13 60 CMS'),('V14060','VAR14 60 CMS'),('V15060','VAR15 60 CMS'),('V16060','VAR16 60 CMS');
INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, cod_client) VALUES
('b0',100,1,'FRE040',25,'C1'),
('b1',100,1,'FRE040',25,'C1'),
('b2',100,1,'RNB050',20,'C1'),
('b3',100,1,'VEN060',20,'C1'),
('b4',100,1,'VEN060',20,'C2'),
('b5',100,2,'RNB040',20,'C2'),
('b6',100,2,'RNB040',20,'C2'),
('b7',100,2,'VEN050',15,'C2'),
('b8',100,5,'VEN040',10,'C3'),
('b9',100,5,'VEN050',12,'C3'),
('b10',100,5,'VEN060',14,'C3'),
('b11',100,5,'VEN070',16,'C3'),
('b12',100,5,'VEN080',18,'C3'),
('b13',100,5,'VEN080',18,'C3'),
('b14',100,8,'FRE040',25,'C4'),
('b15',100,8,'MIN050',10,'C4'),
('b16',100,8,'MIN050',10,'C4'),
('b17',100,8,'PIN060',12,'C4'),
('b18',100,8,'NUS070',14,'C4'),
('b19',200,1,'FRE050',30,'C1'),
('b20',300,1,'CAN060',12,'C2'),
('b21',100,7,'V01060',10,'C1'),
('b22',100,7,'V02060',10,'C1'),
('b23',100,7,'V02060',10,'C2'),
('b24',100,7,'V03060',10,'C1'),
('b25',100,7,'V03060',10,'C2'),
('b26',100,7,'V04060',10,'C1'),
('b27',100,7,'V04060',10,'C2'),
('b28',100,7,'V05060',10,'C1'),
('b29',100,7,'V05060',10,'C2'),
('b30',100,7,'V06060',10,'C1'),
('b31',100,7,'V06060',10,'C2'),
('b32',100,7,'V07060',10,'C1'),
('b33',100,7,'V07060',10,'C2'),
('b34',100,7,'V08060',10,'C1'),
('b35',100,7,'V08060',10,'C2'),
('b36',100,7,'V09060',10,'C1'),
('b37',100,7,'V09060',10,'C2'),
('b38',100,7,'V10060',10,'C1'),
('b39',100,7,'V10060',10,'C2'),
('b40',100,7,'V11060',10,'C1'),
('b41',100,7,'V11060',10,'C2'),
('b42',100,7,'V12060',10,'C1'),
('b43',100,7,'V12060',10,'C2'),
('b44',100,7,'V13060',10,'C1'),
('b45',100,7,'V13060',10,'C2'),
('b46',100,7,'V14060',10,'C1'),
('b47',100,7,'V14060',10,'C2'),
('b48',100,7,'V15060',10,'C1'),
('b49',100,7,'V15060',10,'C2'),
('b50',100,7,'V16060',10,'C1'),
('b51',100,7,'V16060',10,'C2');
