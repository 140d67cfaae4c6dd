-- The tables and columns the station relies on, with the keys its look-ups
-- need. The farm's own database may hold more tables and columns, and may keep
-- packing and box numbers as numbers or as text: the station works with both.

CREATE TABLE IF NOT EXISTS personal (
  personal_id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  cedula      VARCHAR(20) NOT NULL,
  nombres     VARCHAR(60) NULL,
  apellidos   VARCHAR(60) NULL,
  KEY ix_personal_cedula (cedula)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE IF NOT EXISTS control_asistencia (
  asistencia_id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  personal_id   INT NOT NULL,
  fecha_entrada DATE NULL,
  hora_entrada  TIME NULL,
  fecha_salida  DATE NULL,
  hora_salida   TIME NULL,
  horas_dif     INT NULL,
  KEY ix_asistencia_persona_dia (personal_id, fecha_entrada),
  KEY ix_asistencia_dia (fecha_entrada)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE IF NOT EXISTS usuario (
  usu_id       INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  usu_nombre   VARCHAR(60) NULL,
  usu_permiso  VARCHAR(30) NULL,
  usu_login    VARCHAR(15) NOT NULL,
  usu_password VARCHAR(41) NULL,
  KEY ix_usuario_login (usu_login)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE IF NOT EXISTS variedad (
  cod_varie VARCHAR(20) NOT NULL PRIMARY KEY,
  vnombre   VARCHAR(60) NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE IF NOT EXISTS clientes (
  cod_client VARCHAR(10) NOT NULL PRIMARY KEY,
  cnombre    VARCHAR(60) NULL,
  marcar     VARCHAR(60) NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE IF NOT EXISTS flores (
  codigo   VARCHAR(3) NOT NULL PRIMARY KEY,
  color    VARCHAR(20) NULL,
  variedad VARCHAR(60) NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE IF NOT EXISTS envoltura (
  tipo_env INT NOT NULL PRIMARY KEY,
  descrip  VARCHAR(60) NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE IF NOT EXISTS bunche (
  num_bunch      VARCHAR(20) NOT NULL PRIMARY KEY,
  num_pack       INT NULL,
  caja           INT NULL,
  cod_varie      VARCHAR(20) NULL,
  num_tallos     INT NULL,
  cod_client     VARCHAR(10) NULL,
  estado         VARCHAR(2) NULL,
  nacional       VARCHAR(2) NULL,
  categoria      VARCHAR(2) NULL,
  transformado   VARCHAR(2) NULL,
  observa        TEXT NULL,
  fecha_embarque DATE NULL,
  tipo_env       INT NULL,
  KEY ix_bunche_pack_caja (num_pack, caja),
  KEY ix_bunche_varie (cod_varie)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE IF NOT EXISTS prepacking (
  prepacking_id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  packing       INT NULL,
  caja          INT NULL,
  cod_client    VARCHAR(10) NULL,
  guia_aerea    VARCHAR(40) NULL,
  marca         VARCHAR(40) NULL,
  KEY ix_prepacking_packing_caja (packing, caja)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Work table of the labels, filled by position: box, variety name, bunches,
-- stems, short variety name, packing, stem length, marker.
CREATE TABLE IF NOT EXISTS tmp_caja (
  caja       INT NULL,
  vnombre    VARCHAR(60) NULL,
  bunches    INT NULL,
  botones    INT NULL,
  cliente    VARCHAR(60) NULL,
  num_pack   VARCHAR(20) NULL,
  subcliente VARCHAR(10) NULL,
  marcador   VARCHAR(5) NULL,
  KEY ix_tmp_caja_caja (caja)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
