-- Rosa, and a trigger that holds her entry insert in a statement a watcher
-- can see while freno has a row.
INSERT INTO personal VALUES (9, '9', 'ROSA', 'ALBA');
create table freno (x int);
create trigger lento before insert on control_asistencia for each row begin if (select count(*) from freno) > 0 then do sleep(30); end if; end;
