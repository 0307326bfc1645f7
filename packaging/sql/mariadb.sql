-- The shared subscriber directory of Информатор Kordavin in MariaDB (10.3 or
-- later) or MySQL (5.7 or later; the same script, nothing to change).
--
-- Run once, as an account that may create tables and triggers, in the database
-- the workstations use (here "phones", made with utf8mb4):
--   CREATE DATABASE phones CHARACTER SET utf8mb4;
--   mariadb -h SERVER -u admin -p phones < mariadb.sql    (MySQL: mysql ...)
-- The program never changes the schema; it checks the columns when it connects
-- and names the ones missing.
--
-- The table's name is the setting SqlTable; MariaDB on Linux tells upper from
-- lower case in table names, so write it the same in both places. Another name
-- means replacing it everywhere below.
--
-- Then give the program's account reading and writing, nothing more (no DDL,
-- no DELETE: a deleted number stays as a marker):
--   CREATE USER 'informer'@'%' IDENTIFIED BY '...';
-- GRANT SELECT, INSERT, UPDATE ON phones.KordavinAbonentPhones TO 'informer'@'%';
-- The change stamps are the triggers' business; they run with their definer's
-- rights, so the account needs no grant on the stamp table.

CREATE TABLE KordavinAbonentPhones (
    Phone          VARCHAR(64)  NOT NULL,
    -- Texts of up to 512 Ki characters: 2 MiB in utf8mb4, more than TEXT holds.
    AbonentName    MEDIUMTEXT   NOT NULL,
    AbonentComment MEDIUMTEXT   NOT NULL,
    Deleted        SMALLINT     NOT NULL DEFAULT 0,
    ChangeStamp    BIGINT       NOT NULL DEFAULT 0,
    ChangedBy      VARCHAR(256) NOT NULL DEFAULT '',
    ChangedAt      DATETIME(3)  NULL,  -- UTC
    PRIMARY KEY (Phone),
    KEY KordavinAbonentPhones_ChangeStamp (ChangeStamp)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

-- The last change stamp given, in one row. Counting there (not with
-- AUTO_INCREMENT or a sequence) keeps the row locked until the writer's
-- transaction ends, so stamps become visible in the order they were given and
-- a workstation that has read up to stamp 20 never misses a 19 committed later.
CREATE TABLE KordavinAbonentPhonesStamp (Stamp BIGINT NOT NULL) ENGINE=InnoDB;
INSERT INTO KordavinAbonentPhonesStamp VALUES (0);

DELIMITER //
CREATE TRIGGER KordavinAbonentPhonesInsertStamp BEFORE INSERT ON KordavinAbonentPhones FOR EACH ROW
BEGIN
    DECLARE newStamp BIGINT;
    SELECT Stamp + 1 INTO newStamp FROM KordavinAbonentPhonesStamp FOR UPDATE;
    UPDATE KordavinAbonentPhonesStamp SET Stamp = newStamp;
    SET NEW.ChangeStamp = newStamp;
END//
CREATE TRIGGER KordavinAbonentPhonesUpdateStamp BEFORE UPDATE ON KordavinAbonentPhones FOR EACH ROW
BEGIN
    DECLARE newStamp BIGINT;
    SELECT Stamp + 1 INTO newStamp FROM KordavinAbonentPhonesStamp FOR UPDATE;
    UPDATE KordavinAbonentPhonesStamp SET Stamp = newStamp;
    SET NEW.ChangeStamp = newStamp;
END//
DELIMITER ;
