-- One attendance row per person and day, then the unique key that keeps it so
-- (docs/cluster.md, "La clave única del día"). Run once, on the farm's
-- database, with the stations stopped:
--
--   mariadb finca < /usr/share/velmar/dia_unico.sql   (db/dia_unico.sql in the source)
--
-- 1. A copy of the table as it was: control_asistencia_antes_dia_unico (the
--    script stops here if that copy already exists: it has run before).
-- 2. Each day with more than one row becomes one row: the earliest entry, the
--    latest exit of the day's rows if any has one, horas_dif recomputed as the
--    station computes it (seconds from the entry to the exit). The row kept is
--    the one with the earliest entry; the others are deleted.
-- 3. The plain index on (personal_id, fecha_entrada) gives way to the unique
--    key on the same columns.
-- The days merged are listed at the end, with the rows they had.

CREATE TABLE control_asistencia_antes_dia_unico LIKE control_asistencia;
INSERT INTO control_asistencia_antes_dia_unico SELECT * FROM control_asistencia;

CREATE TEMPORARY TABLE dia_doble AS
SELECT personal_id, fecha_entrada, COUNT(*) AS filas,
       MIN(hora_entrada) AS entrada,
       MAX(hora_salida) AS salida,
       MAX(IF(hora_salida IS NULL, NULL, fecha_salida)) AS fecha_de_salida
  FROM control_asistencia
 WHERE fecha_entrada IS NOT NULL
 GROUP BY personal_id, fecha_entrada
HAVING COUNT(*) > 1;

ALTER TABLE dia_doble ADD COLUMN queda INT NULL;
UPDATE dia_doble d
   SET d.queda = (SELECT a.asistencia_id FROM control_asistencia a
                   WHERE a.personal_id = d.personal_id AND a.fecha_entrada = d.fecha_entrada
                   ORDER BY a.hora_entrada IS NULL, a.hora_entrada, a.asistencia_id LIMIT 1);

UPDATE control_asistencia a JOIN dia_doble d ON a.asistencia_id = d.queda
   SET a.hora_entrada = d.entrada,
       a.hora_salida = d.salida,
       a.fecha_salida = IFNULL(d.fecha_de_salida, a.fecha_salida),
       a.horas_dif = IF(d.salida IS NULL, NULL, TIME_TO_SEC(d.salida) - TIME_TO_SEC(d.entrada));

DELETE a FROM control_asistencia a
  JOIN dia_doble d ON a.personal_id = d.personal_id AND a.fecha_entrada = d.fecha_entrada
 WHERE a.asistencia_id <> d.queda;

ALTER TABLE control_asistencia
  DROP KEY IF EXISTS ix_asistencia_persona_dia,
  ADD UNIQUE KEY ux_asistencia_persona_dia (personal_id, fecha_entrada);

SELECT personal_id, fecha_entrada, filas, entrada, salida FROM dia_doble
 ORDER BY fecha_entrada, personal_id;
