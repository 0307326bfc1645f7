-- The shared subscriber directory of Информатор Kordavin in PostgreSQL (11 or later).
--
-- Run once, as the owner of the database the workstations use (here "phones"):
--   psql -h SERVER -d phones -v ON_ERROR_STOP=1 -f postgresql.sql
-- The program never changes the schema; it checks the columns when it connects
-- and names the ones missing.
--
-- The table's name is the setting SqlTable, written exactly as here: the program
-- puts it in double quotes, and PostgreSQL folds names without quotes to lower
-- case. Another name (or "schema"."name") means replacing it everywhere below.
--
-- Then give the program's account reading and writing, nothing more (no DDL,
-- no DELETE: a deleted number stays as a marker):
--   CREATE ROLE informer LOGIN PASSWORD '...';
-- GRANT SELECT, INSERT, UPDATE ON "KordavinAbonentPhones" TO informer;
-- The change stamps are the triggers' business; they run with their owner's
-- rights, so the account needs no grant on the sequence.

CREATE TABLE "KordavinAbonentPhones" (
    Phone          varchar(64)  NOT NULL PRIMARY KEY,
    AbonentName    text         NOT NULL DEFAULT '',
    AbonentComment text         NOT NULL DEFAULT '',
    Deleted        smallint     NOT NULL DEFAULT 0,
    ChangeStamp    bigint       NOT NULL DEFAULT 0,
    ChangedBy      varchar(256) NOT NULL DEFAULT '',
    ChangedAt      timestamp(3) NULL  -- UTC
);
CREATE INDEX "KordavinAbonentPhones_ChangeStamp" ON "KordavinAbonentPhones" (ChangeStamp);

-- Change stamps from a sequence, taken only under a lock that the writing
-- transaction holds until it ends. A sequence alone hands out stamps in the
-- order the writers ask, but their transactions may commit in another: a
-- workstation that has read up to stamp 20 would never see a 19 committed
-- after. Under the lock, stamps become visible in the order they were given.
CREATE SEQUENCE "KordavinAbonentPhonesStamp";

-- Before the statement touches any row: taking the lock after a row's lock
-- would let two writers wait for each other. The key is the table's own oid.
CREATE FUNCTION "KordavinAbonentPhonesLock"() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT AS $$
BEGIN
    PERFORM pg_advisory_xact_lock(TG_RELID::bigint);
    RETURN NULL;
END $$;

CREATE FUNCTION "KordavinAbonentPhonesStampRow"() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT AS $$
BEGIN
    NEW.ChangeStamp := nextval('"KordavinAbonentPhonesStamp"');
    RETURN NEW;
END $$;

CREATE TRIGGER "KordavinAbonentPhonesLock" BEFORE INSERT OR UPDATE ON "KordavinAbonentPhones"
    FOR EACH STATEMENT EXECUTE FUNCTION "KordavinAbonentPhonesLock"();
CREATE TRIGGER "KordavinAbonentPhonesStamp" BEFORE INSERT OR UPDATE ON "KordavinAbonentPhones"
    FOR EACH ROW EXECUTE FUNCTION "KordavinAbonentPhonesStampRow"();

REVOKE ALL ON SEQUENCE "KordavinAbonentPhonesStamp" FROM PUBLIC;
REVOKE ALL ON FUNCTION "KordavinAbonentPhonesLock"() FROM PUBLIC;
REVOKE ALL ON FUNCTION "KordavinAbonentPhonesStampRow"() FROM PUBLIC;
