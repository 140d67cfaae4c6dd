-- Demo data of a rose farm's packing room, for a database just created from
-- db/schema.sql:
--
--   mariadb --default-character-set=utf8mb4 DB < db/demo.sql
--
-- Every row is derived from fixed lists and sequence tables, so two loads give
-- the same rows. The script refuses to run on a database that already holds
-- staff or bunches: it is meant for an empty demo database only.

SET NAMES utf8mb4;

DELIMITER //
BEGIN NOT ATOMIC
  IF (SELECT COUNT(*) FROM personal) + (SELECT COUNT(*) FROM bunche) > 0 THEN
    SIGNAL SQLSTATE '45000'
      SET MESSAGE_TEXT = 'demo.sql: la base ya tiene datos; cárguelo sólo en una base vacía';
  END IF;
END//
DELIMITER ;

-- ---------------------------------------------------------------------------
-- Staff: 300 workers. The first one is the card used in the demo.
-- ---------------------------------------------------------------------------

INSERT INTO personal (cedula, nombres, apellidos)
VALUES ('1712345678', 'MARIA JOSE', 'GUAMAN TIPAN');

SET @mujeres = '["MARIA","ROSA","ANA","CARMEN","BLANCA","LUZ","GLORIA","MARTHA","NANCY",
  "SANDRA","ELENA","DIANA","VERONICA","MIRIAM","JESSICA","LORENA","MAYRA","PAOLA","ESTEFANIA",
  "SILVIA","MARLENE","FANNY","ZOILA","ROCIO","DOLORES","LUCIA","MERCEDES","TERESA","GABRIELA",
  "JOHANNA","ERIKA","NATALY","MARISOL","INÉS","MÓNICA","ANDREA","GEOVANNA","TATIANA"]';
SET @hombres = '["JOSE","LUIS","CARLOS","JUAN","SEGUNDO","MANUEL","JORGE","PEDRO","DIEGO",
  "FRANCISCO","WILSON","EDISON","FERNANDO","ANGEL","CRISTIAN","PATRICIO","RAUL","VICTOR",
  "DARWIN","JAIRO","MARCO","FABIAN","HUGO","OSWALDO","ROBERTO","SANTIAGO","BYRON","GALO",
  "RAMÓN","ÁLVARO","EDWIN","FREDDY","KLEBER","HENRY"]';
SET @apellidos = '["GUAMAN","TIPAN","QUISHPE","CHILUISA","FARINANGO","CACUANGO","LECHON",
  "ALBA","MORALES","PILATAXI","TOAPANTA","SIMBAÑA","CATUCUAGO","ANRANGO","TUQUERRES",
  "PERUGACHI","CHICAIZA","SANCHEZ","GUALOTUÑA","ANDRANGO","PAUCAR","CONLAGO","NAVARRETE",
  "CABASCANGO","COLCHA","LOPEZ","PEREZ","MUÑOZ","CUASCOTA","QUILUMBAQUIN","NEPAS","ULCUANGO",
  "AMAGUAÑA","LOZADA","CHIMARRO","CAIZA","IMBAQUINGO","GUALAVISI","ANDRADE","VELASCO",
  "TORRES","JIMENEZ","HERRERA","CEVALLOS","NÚÑEZ","YÉPEZ"]';
-- Mostly Pichincha (17), some from Imbabura, Cotopaxi, Chimborazo, Tungurahua.
SET @provincias = '["17","17","17","10","17","05","17","06","17","18"]';

-- Ecuadorian cédulas: province, a digit below 6, six digits and the modulo-10
-- check digit (coefficients 2,1,2,1,... over the first nine digits). The
-- middle seven digits are n * 1234567 mod 6000000, one-to-one over n.
INSERT INTO personal (cedula, nombres, apellidos)
SELECT CONCAT(w.s9, (10 - d.suma % 10) % 10),
       IF(w.n % 47 = 0, NULL, w.nombres),
       IF(w.n % 53 = 0, NULL, w.apellidos)
FROM (SELECT seq AS n,
             CONCAT(JSON_VALUE(@provincias, CONCAT('$[', seq % 10, ']')),
                    LPAD((seq * 1234567 + 350011) % 6000000, 7, '0')) AS s9,
             IF(seq % 5 IN (0, 2, 3),
                CONCAT(JSON_VALUE(@mujeres, CONCAT('$[', (seq * 7) % JSON_LENGTH(@mujeres), ']')), ' ',
                       JSON_VALUE(@mujeres, CONCAT('$[', (seq * 11 + 3 + IF((seq * 7) % JSON_LENGTH(@mujeres)
                                  = (seq * 11 + 3) % JSON_LENGTH(@mujeres), 1, 0)) % JSON_LENGTH(@mujeres), ']'))),
                CONCAT(JSON_VALUE(@hombres, CONCAT('$[', (seq * 7) % JSON_LENGTH(@hombres), ']')), ' ',
                       JSON_VALUE(@hombres, CONCAT('$[', (seq * 11 + 3 + IF((seq * 7) % JSON_LENGTH(@hombres)
                                  = (seq * 11 + 3) % JSON_LENGTH(@hombres), 1, 0)) % JSON_LENGTH(@hombres), ']')))
             ) AS nombres,
             CONCAT(JSON_VALUE(@apellidos, CONCAT('$[', (seq * 13 + 5) % JSON_LENGTH(@apellidos), ']')), ' ',
                    JSON_VALUE(@apellidos, CONCAT('$[', (seq * 17 + 9 + IF((seq * 13 + 5) % JSON_LENGTH(@apellidos)
                               = (seq * 17 + 9) % JSON_LENGTH(@apellidos), 1, 0)) % JSON_LENGTH(@apellidos), ']'))
             ) AS apellidos
      FROM seq_2_to_300) AS w
JOIN (SELECT v.n,
             SUM(SUBSTRING(v.s9, p.seq, 1) * IF(p.seq % 2 = 1, 2, 1)
                 - IF(SUBSTRING(v.s9, p.seq, 1) * IF(p.seq % 2 = 1, 2, 1) > 9, 9, 0)) AS suma
      FROM (SELECT seq AS n,
                   CONCAT(JSON_VALUE(@provincias, CONCAT('$[', seq % 10, ']')),
                          LPAD((seq * 1234567 + 350011) % 6000000, 7, '0')) AS s9
            FROM seq_2_to_300) AS v
      JOIN seq_1_to_9 AS p
      GROUP BY v.n) AS d ON d.n = w.n
ORDER BY w.n;

-- Three working days of the Valentine's week: entries from 06:45, exits from
-- 15:30; a few early exits and a few exits never scanned.
INSERT INTO control_asistencia (personal_id, fecha_entrada, hora_entrada,
                                fecha_salida, hora_salida, horas_dif)
SELECT a.personal_id, a.dia, a.entrada,
       IF(a.salida IS NULL, NULL, a.dia), a.salida,
       TIME_TO_SEC(a.salida) - TIME_TO_SEC(a.entrada)
FROM (SELECT p.personal_id,
             DATE('2024-02-05') + INTERVAL d.seq DAY AS dia,
             SEC_TO_TIME(6 * 3600 + 45 * 60 + ((p.personal_id * 7 + d.seq) % 30) * 60
                         + (p.personal_id * 13) % 60) AS entrada,
             CASE
               WHEN d.seq = 3 AND p.personal_id % 17 = 0 THEN NULL
               WHEN d.seq = 2 AND p.personal_id % 29 = 0
                 THEN SEC_TO_TIME(10 * 3600 + 15 * 60 + (p.personal_id * 31) % 600)
               ELSE SEC_TO_TIME(15 * 3600 + 30 * 60 + ((p.personal_id * 11 + d.seq) % 45) * 60
                                + (p.personal_id * 19) % 60)
             END AS salida
      FROM personal AS p
      JOIN seq_1_to_3 AS d
      WHERE p.personal_id <= 260 AND (p.personal_id + d.seq) % 13 <> 0) AS a
ORDER BY a.dia, a.entrada, a.personal_id;

-- ---------------------------------------------------------------------------
-- Station users.
-- ---------------------------------------------------------------------------

INSERT INTO usuario (usu_nombre, usu_permiso, usu_login, usu_password) VALUES
  ('ADMINISTRADOR DEL SISTEMA', 'ADMIN', 'admin', PASSWORD('velmar')),
  ('JEFE DE EMPAQUE', 'SUPERVISOR', 'supervisor', PASSWORD('empaque'));

-- ---------------------------------------------------------------------------
-- Catalogues: varieties by stem length, flowers, wrappings, customers.
-- ---------------------------------------------------------------------------

CREATE TEMPORARY TABLE demo_rosa (
  prefijo VARCHAR(3) NOT NULL PRIMARY KEY,
  clave   VARCHAR(20) NOT NULL,
  nombre  VARCHAR(40) NOT NULL,
  color   VARCHAR(20) NOT NULL,
  largo_min INT NOT NULL,
  largo_max INT NOT NULL
) DEFAULT CHARSET=utf8mb4;

INSERT INTO demo_rosa VALUES
  ('FRE', 'FREEDOM',       'FREEDOM',        'red',        40, 90),
  ('EXP', 'EXPLORER',      'EXPLORER',       'red',        50, 90),
  ('CHE', 'CHERRYO',       'CHERRY O',       'rojo',       40, 80),
  ('HEA', 'HEARTS',        'HEARTS',         'rojo',       40, 70),
  ('VEN', 'VENDELA',       'VENDELA',        'white',      40, 80),
  ('MON', 'MONDIAL',       'MONDIAL',        'white',      50, 90),
  ('PLA', 'PLAYABLANCA',   'PLAYA BLANCA',   'blanco',     40, 70),
  ('TIB', 'TIBET',         'TIBET',          'white',      40, 80),
  ('NIN', 'NINA',          'NINA',           'pink',       40, 70),
  ('PIN', 'PINKFLOYD',     'PINK FLOYD',     'fucsia',     40, 80),
  ('TOP', 'TOPAZ',         'TOPAZ',          'fucsia',     40, 70),
  ('ENG', 'ENGAGEMENT',    'ENGAGEMENT',     'pink',       40, 70),
  ('DEE', 'DEEPPURPLE',    'DEEP PURPLE',    'purple',     40, 70),
  ('COU', 'COUNTRYBLUES',  'COUNTRY BLUES',  'lavender',   40, 60),
  ('HIG', 'HIGHMAGIC',     'HIGH & MAGIC',   'bicolor',    40, 80),
  ('SHI', 'SHIMMER',       'SHIMMER',        'bicolor',    40, 70),
  ('ESP', 'ESPERANCE',     'ESPERANCE',      'bicolor',    40, 70),
  ('TAR', 'TARA',          'TARA',           'amarillo',   40, 70),
  ('BRI', 'BRIGHTON',      'BRIGHTON',       'yellow',     40, 70),
  ('MOM', 'MOMENTUM',      'MOMENTUM',       'orange',     40, 70),
  ('RAI', 'RAINBOWROSES',  'RAINBOW ROSES',  'multicolor', 40, 60),
  ('TIN', 'TINTEDRAINBOW', 'TINTED RAINBOW', 'multicolor', 40, 60);

-- Code: three letters, the name without blanks, the stem length in cm. The
-- name ends in the stem length after five blanks, as the farm keeps it: the
-- box report drops three characters and the labels seven, both leaving the
-- variety's own name.
INSERT INTO variedad (cod_varie, vnombre)
SELECT CONCAT(r.prefijo, r.clave, l.seq), CONCAT(r.nombre, '     ', l.seq)
FROM demo_rosa AS r
JOIN seq_40_to_90_step_10 AS l ON l.seq BETWEEN r.largo_min AND r.largo_max
ORDER BY r.prefijo, l.seq;

INSERT INTO flores (codigo, color, variedad)
SELECT prefijo, color, nombre FROM demo_rosa;
-- Fillers the farm also sells; no variety of the packing room uses them.
INSERT INTO flores (codigo, color, variedad) VALUES
  ('GYP', 'white',  'GYPSOPHILA XLENCE'),
  ('HYP', 'red',    'HYPERICUM'),
  ('LIM', 'purple', 'LIMONIUM');

INSERT INTO envoltura (tipo_env, descrip) VALUES
  (1, 'CAPUCHON'),
  (2, 'LAMINA'),
  (3, 'CARTON'),
  (4, 'CAPUCHON IMPRESO'),
  (5, 'LAMINA MICROPERFORADA'),
  (6, 'PAPEL KRAFT'),
  (7, 'CAPUCHON TRANSPARENTE'),
  (8, 'SIN ENVOLTURA');

INSERT INTO clientes (cod_client, cnombre, marcar) VALUES
  ('000000', 'STOCK FINCA',            ''),
  ('000112', 'FLOWER DIRECT MIAMI',    'FD MIAMI / ATTN RECEIVING'),
  ('000118', 'ROSAS DEL NORTE NY',     'RDN - JFK / NEW YORK'),
  ('000125', 'AMSTEL BLOEMEN BV',      'AALSMEER KLOK 4 - AMSTEL'),
  ('000131', 'FLORA MOSKVA OOO',       'FM / MOSCU SVO'),
  ('000140', 'SIBIR TSVETY',           'NOVOSIBIRSK OVB - SIBIR'),
  ('000152', 'BLUMEN HAUS GMBH',       'BH FRANKFURT FRA'),
  ('000154', 'BLUMEN KOLN',            'BH / KOLN'),
  ('000160', 'TORONTO FLORAL SUPPLY',  'TFS YYZ'),
  ('000166', 'FLORES SANTIAGO SPA',    'FS SCL - SANTIAGO'),
  ('000173', 'DUBAI BLOOM LLC',        'DB / DXB'),
  ('000180', 'SAKURA HANA KK',         NULL);

-- ---------------------------------------------------------------------------
-- Packings 850 to 860 and their boxes.
-- ---------------------------------------------------------------------------

-- guia: airline prefix, serial of seven digits (the check digit, serial mod
-- 7, is added below) and house waybill (NULL: none). 856 has no waybill yet;
-- 852 has it only on its first box. 851 is shipped (nacional 'C').
CREATE TEMPORARY TABLE demo_packing (
  packing   INT NOT NULL PRIMARY KEY,
  aerolinea VARCHAR(3) NULL,
  serie     INT NULL,
  house     VARCHAR(10) NULL,
  nacional  VARCHAR(2) NULL,
  embarque  DATE NULL
) DEFAULT CHARSET=utf8mb4;

INSERT INTO demo_packing VALUES
  (850, '729', 1234567, 'HAWB0042', NULL, NULL),
  (851, '145', 5520713, 'HAWB0043', 'C',  '2024-02-08'),
  (852, '074', 6204817, 'HAWB0051', '',   NULL),
  (853, '145', 5520724, NULL,       NULL, NULL),
  (854, '020', 4418260, 'HAWB0057', '',   NULL),
  (855, '729', 3001469, 'HAWB0060', NULL, NULL),
  (856, NULL,  NULL,    NULL,       '',   NULL),
  (857, '074', 6204839, 'HAWB0066', NULL, NULL),
  (858, '045', 2287715, 'HAWB0071', '',   NULL),
  (859, '729', 3001470, 'HAWB0073', NULL, NULL),
  (860, '074', 6204828, 'HAWB0075', NULL, NULL);

-- One row per box: customer, bunches, stems per bunch, up to four varieties
-- (bunches take them in turn), stem lengths, wrapping, box mark of the plan
-- (planeada = 0: the box has no plan row), and how far it is confirmed:
-- modo 0 all 'R', 1 mostly 'R' with some '' and NULL, 2 not confirmed yet.
CREATE TEMPORARY TABLE demo_caja (
  packing    INT NOT NULL,
  caja       INT NOT NULL,
  cod_client VARCHAR(10) NOT NULL,
  bunches    INT NOT NULL,
  tallos     INT NOT NULL,
  v1 VARCHAR(3) NOT NULL,
  v2 VARCHAR(3) NULL,
  v3 VARCHAR(3) NULL,
  v4 VARCHAR(3) NULL,
  largo_min  INT NOT NULL,
  largo_max  INT NOT NULL,
  tipo_env   INT NOT NULL,
  marca      VARCHAR(40) NULL,
  planeada   INT NOT NULL,
  modo       INT NOT NULL,
  PRIMARY KEY (packing, caja)
) DEFAULT CHARSET=utf8mb4;

INSERT INTO demo_caja VALUES
  (850, 1, '000112', 12, 25, 'FRE', NULL,  NULL,  NULL,  50, 60, 1, 'PO 4512 / FD', 1, 0),
  (850, 2, '000112', 12, 25, 'FRE', 'EXP', 'HEA', NULL,  50, 70, 1, '',             1, 0),
  (850, 3, '000112', 10, 25, 'VEN', 'MON', 'PLA', 'TIB', 40, 60, 2, 'PO 4513 / FD', 1, 1),
  (850, 4, '000112', 12, 25, 'RAI', NULL,  NULL,  NULL,  40, 50, 4, 'RAINBOW',      1, 0),
  (850, 5, '000112',  8, 25, 'PIN', 'NIN', 'TOP', NULL,  40, 60, 1, NULL,           0, 2),
  (851, 1, '000131', 10, 25, 'EXP', NULL,  NULL,  NULL,  70, 90, 3, 'FM-01',        1, 0),
  (851, 2, '000131', 10, 25, 'FRE', NULL,  NULL,  NULL,  70, 90, 3, 'FM-02',        1, 0),
  (851, 3, '000131', 10, 25, 'MON', 'VEN', NULL,  NULL,  70, 80, 3, 'FM-03',        1, 0),
  (851, 4, '000131',  8, 25, 'DEE', 'HIG', NULL,  NULL,  60, 70, 3, 'FM-04',        1, 0),
  (852, 1, '000125', 16, 20, 'FRE', 'CHE', NULL,  NULL,  40, 50, 5, 'AALSMEER',     1, 0),
  (852, 2, '000125', 16, 20, 'BRI', 'TAR', 'MOM', NULL,  40, 60, 5, '',             1, 0),
  (852, 3, '000125', 16, 20, 'ENG', 'NIN', 'TOP', NULL,  40, 50, 5, '',             1, 0),
  (852, 4, '000125', 14, 20, 'PLA', NULL,  NULL,  NULL,  40, 60, 5, 'AALSMEER 4',   1, 1),
  (852, 5, '000125', 14, 20, 'SHI', 'HIG', 'ESP', NULL,  40, 60, 5, '',             1, 0),
  (852, 6, '000125', 12, 20, 'TIN', NULL,  NULL,  NULL,  40, 50, 4, 'TINTED',       1, 0),
  (853, 1, '000118', 12, 25, 'FRE', NULL,  NULL,  NULL,  50, 60, 1, 'NY-VAL-1',     1, 0),
  (853, 2, '000118', 12, 25, 'HEA', 'CHE', 'EXP', NULL,  50, 70, 1, 'NY-VAL-2',     1, 0),
  (853, 3, '000118', 10, 25, 'VEN', 'PIN', 'BRI', 'DEE', 50, 60, 2, 'NY-VAL-3',     1, 1),
  (854, 1, '000152', 14, 25, 'FRE', 'MON', NULL,  NULL,  40, 60, 6, 'BH-ROT',       1, 0),
  (854, 2, '000152', 14, 25, 'ENG', 'NIN', NULL,  NULL,  40, 50, 6, 'BH-ROSA',      1, 0),
  (854, 3, '000152', 10, 25, 'MOM', 'TAR', 'BRI', NULL,  40, 60, 6, '',             1, 0),
  (854, 4, '000154', 10, 25, 'COU', 'DEE', NULL,  NULL,  40, 50, 6, 'KOLN',         1, 1),
  (855, 1, '000140', 10, 25, 'EXP', NULL,  NULL,  NULL,  70, 90, 3, 'NSK-1',        1, 0),
  (855, 2, '000140', 10, 25, 'FRE', 'EXP', NULL,  NULL,  70, 80, 3, '',             1, 0),
  (855, 3, '000140', 10, 25, 'HIG', 'SHI', NULL,  NULL,  60, 80, 3, '',             1, 0),
  (855, 4, '000140', 10, 25, 'MON', 'TIB', NULL,  NULL,  70, 80, 3, 'NSK-4',        1, 1),
  (855, 5, '000140',  8, 25, 'PIN', 'TOP', 'DEE', NULL,  60, 70, 3, '',             1, 2),
  (856, 1, '000173', 12, 25, 'FRE', 'CHE', NULL,  NULL,  50, 70, 7, 'DXB',          1, 0),
  (856, 2, '000173', 12, 25, 'VEN', 'PLA', NULL,  NULL,  50, 60, 7, 'DXB',          1, 0),
  (856, 3, '000173', 10, 25, 'RAI', 'TIN', NULL,  NULL,  40, 50, 7, 'DXB',          1, 1),
  (857, 1, '000180', 10, 20, 'NIN', 'ENG', NULL,  NULL,  40, 50, 2, '',             1, 0),
  (857, 2, '000180', 10, 20, 'COU', NULL,  NULL,  NULL,  40, 50, 2, '',             1, 2),
  (858, 1, '000166', 12, 25, 'FRE', NULL,  NULL,  NULL,  40, 50, 1, 'SCL',          1, 0),
  (858, 2, '000166', 12, 25, 'MOM', 'BRI', 'TAR', 'ESP', 40, 60, 1, '',             1, 0),
  (858, 3, '000166', 12, 25, 'PIN', 'HEA', NULL,  NULL,  40, 60, 1, '',             1, 0),
  (858, 4, '000166', 10, 25, 'MON', NULL,  NULL,  NULL,  50, 60, 1, '',             1, 1),
  (859, 1, '000112', 12, 25, 'FRE', NULL,  NULL,  NULL,  50, 60, 1, 'PO 4530 / FD', 1, 0),
  (859, 2, '000112', 12, 25, 'EXP', 'HEA', NULL,  NULL,  50, 60, 1, 'PO 4531 / FD', 1, 1),
  (859, 3, '000112', 12, 25, 'VEN', 'MON', 'TIB', NULL,  40, 60, 2, '',             1, 2),
  (859, 4, '000112', 10, 25, 'DEE', 'COU', 'PIN', NULL,  40, 60, 1, '',             1, 2),
  (859, 5, '000112', 10, 25, 'CHE', NULL,  NULL,  NULL,  50, 70, 1, '',             1, 1),
  -- 860 is planned for Amstel but nothing is packed in it yet.
  (860, 1, '000125',  0, 20, 'FRE', NULL,  NULL,  NULL,  40, 50, 5, 'AALSMEER',     1, 0),
  (860, 2, '000125',  0, 20, 'FRE', NULL,  NULL,  NULL,  40, 50, 5, '',             1, 0),
  (860, 3, '000125',  0, 20, 'FRE', NULL,  NULL,  NULL,  40, 50, 5, '',             1, 0);

-- Bunch k of a box takes the box's varieties in turn and walks up its stem
-- lengths (held within the variety's range). Bunch numbers run in packing
-- order with small gaps, as the classification room hands them out.
INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, cod_client,
                    estado, nacional, categoria, transformado, observa,
                    fecha_embarque, tipo_env)
SELECT CONCAT('B', LPAD(12000 + 3 * ROW_NUMBER() OVER (ORDER BY b.packing, b.caja, b.k)
                        + b.k % 3, 7, '0')),
       b.packing, b.caja,
       CONCAT(r.prefijo, r.clave,
              LEAST(r.largo_max, GREATEST(r.largo_min,
                    b.largo_min + 10 * (((b.k - 1) DIV b.mezcla)
                                        % ((b.largo_max - b.largo_min) DIV 10 + 1))))),
       IF(b.packing = 859 AND b.caja = 4 AND b.k = 10, NULL, b.tallos),
       b.cod_client,
       CASE b.modo
         WHEN 0 THEN 'R'
         WHEN 1 THEN CASE WHEN b.k % 5 = 0 THEN NULL WHEN b.k % 7 = 0 THEN '' ELSE 'R' END
         ELSE IF(b.k % 4 = 0, '', NULL)
       END,
       IF(b.packing = 858 AND b.caja > 1, NULL, p.nacional),
       'A', NULL,
       CASE
         WHEN b.packing = 859 AND b.caja = 3 AND b.k = 4 THEN 'CABEZA PEQUEÑA, REVISAR'
         WHEN b.packing = 850 AND b.caja = 3 AND b.k = 5 THEN ''
         ELSE NULL
       END,
       p.embarque,
       IF(b.packing = 859 AND b.caja = 4 AND b.k = 10, NULL, b.tipo_env)
FROM (SELECT c.*, s.seq AS k,
             1 + (c.v2 IS NOT NULL) + (c.v3 IS NOT NULL) + (c.v4 IS NOT NULL) AS mezcla
      FROM demo_caja AS c
      JOIN seq_1_to_30 AS s ON s.seq <= c.bunches) AS b
JOIN demo_packing AS p ON p.packing = b.packing
JOIN demo_rosa AS r
  ON r.prefijo = ELT(1 + (b.k - 1) % b.mezcla, b.v1, b.v2, b.v3, b.v4)
ORDER BY b.packing, b.caja, b.k;

-- The plan of each box: customer, air waybill ("master/house", master alone
-- when there is no house waybill) and the box mark.
INSERT INTO prepacking (packing, caja, cod_client, guia_aerea, marca)
SELECT c.packing, c.caja, c.cod_client,
       CASE
         WHEN p.aerolinea IS NULL THEN ''
         WHEN c.packing = 852 AND c.caja > 1 THEN ''
         ELSE CONCAT(p.aerolinea, '-', p.serie, p.serie % 7,
                     IF(p.house IS NULL, '', CONCAT('/', p.house)))
       END,
       c.marca
FROM demo_caja AS c
JOIN demo_packing AS p ON p.packing = c.packing
WHERE c.planeada = 1
ORDER BY c.packing, c.caja;

DROP TEMPORARY TABLE demo_caja;
DROP TEMPORARY TABLE demo_packing;
DROP TEMPORARY TABLE demo_rosa;
