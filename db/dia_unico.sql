-- One attendance row per person and day, then the unique key that keeps it so
-- (docs/cluster.md, "La clave única del día"). Run once, on the farm's
-- database, with the stations stopped:
--
--   mariadb finca < /usr/share/velmar/dia_unico.sql   (db/dia_unico.sql in the source)
--
-- 1. A copy of the table as it was: control_asistencia_antes_dia_unico (the
--    script stops here if that copy already exists: it has run before).
-- 2. Each day with more than one row becomes one row: the earliest entry, the
--    latest exit of the day's rows if any has one (its date and time together,
--    as one moment: an exit past midnight is later than one before it), and
--    horas_dif recomputed as the seconds from that entry to that exit (as the
--    station computes it within a day). The row kept is the one with the
--    earliest entry; the others are deleted.
-- 3. The plain index on (personal_id, fecha_entrada) gives way to the unique
--    key on the same columns.
-- The days merged are listed at the end, with the rows they had.

CREATE TABLE control_asistencia_antes_dia_unico LIKE control_asistencia;
INSERT INTO control_asistencia_antes_dia_unico SELECT * FROM control_asistencia;

-- salida and fecha_de_salida take their types here; the exit row fills them.
CREATE TEMPORARY TABLE dia_doble AS
SELECT personal_id, fecha_entrada, COUNT(*) AS filas,
       MIN(hora_entrada) AS entrada,
       MAX(hora_salida) AS salida,
       MAX(fecha_salida) AS fecha_de_salida
  FROM control_asistencia
 WHERE fecha_entrada IS NOT NULL
 GROUP BY personal_id, fecha_entrada
HAVING COUNT(*) > 1;

ALTER TABLE dia_doble ADD COLUMN queda INT NULL, ADD COLUMN sale INT NULL;
UPDATE dia_doble d
   SET d.queda = (SELECT a.asistencia_id FROM control_asistencia a
                   WHERE a.personal_id = d.personal_id AND a.fecha_entrada = d.fecha_entrada
                   ORDER BY a.hora_entrada IS NULL, a.hora_entrada, a.asistencia_id LIMIT 1),
       d.sale = (SELECT a.asistencia_id FROM control_asistencia a
                  WHERE a.personal_id = d.personal_id AND a.fecha_entrada = d.fecha_entrada
                    AND a.hora_salida IS NOT NULL
                  ORDER BY TIMESTAMP(IFNULL(a.fecha_salida, a.fecha_entrada), a.hora_salida) DESC,
                           a.asistencia_id DESC LIMIT 1);
UPDATE dia_doble d LEFT JOIN control_asistencia s ON s.asistencia_id = d.sale
   SET d.salida = s.hora_salida, d.fecha_de_salida = s.fecha_salida;

UPDATE control_asistencia a JOIN dia_doble d ON a.asistencia_id = d.queda
   SET a.hora_entrada = d.entrada,
       a.hora_salida = d.salida,
       a.fecha_salida = IF(d.sale IS NULL, a.fecha_salida, d.fecha_de_salida),
       a.horas_dif = IF(d.salida IS NULL, NULL,
                        TIMESTAMPDIFF(SECOND, TIMESTAMP(d.fecha_entrada, d.entrada),
                                      TIMESTAMP(IFNULL(d.fecha_de_salida, d.fecha_entrada),
                                                d.salida)));

DELETE a FROM control_asistencia a
  JOIN dia_doble d ON a.personal_id = d.personal_id AND a.fecha_entrada = d.fecha_entrada
 WHERE a.asistencia_id <> d.queda;

ALTER TABLE control_asistencia
  DROP KEY IF EXISTS ix_asistencia_persona_dia,
  ADD UNIQUE KEY ux_asistencia_persona_dia (personal_id, fecha_entrada);

SELECT personal_id, fecha_entrada, filas, entrada, fecha_de_salida, salida FROM dia_doble
 ORDER BY fecha_entrada, personal_id;
