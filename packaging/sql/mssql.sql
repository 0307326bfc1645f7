-- The shared subscriber directory of Информатор Kordavin in Microsoft SQL Server
-- (2012 or later, Azure SQL too).
--
-- Run once, as the owner of the database the workstations use (here "phones"):
--   sqlcmd -S SERVER -d phones -i mssql.sql
-- The program never changes the schema; it checks the columns when it connects
-- and names the ones missing.
--
-- The table's name is the setting SqlTable (here in the schema dbo, the
-- account's default; another schema is written "schema.name" in the setting).
-- Another name means replacing it everywhere below.
--
-- Then give the program's account reading and writing, nothing more (no DDL,
-- no DELETE: a deleted number stays as a marker):
--   CREATE LOGIN informer WITH PASSWORD = '...';       (in master)
--   CREATE USER informer FOR LOGIN informer;           (in phones)
-- GRANT SELECT, INSERT, UPDATE ON dbo.KordavinAbonentPhones TO informer;
-- The change stamps are the trigger's business: the trigger and the stamp table
-- have one owner, so the account needs no grant on the stamp table.

SET ANSI_NULLS ON;
SET QUOTED_IDENTIFIER ON;
GO

CREATE TABLE dbo.KordavinAbonentPhones (
    Phone          nvarchar(64)  NOT NULL CONSTRAINT PK_KordavinAbonentPhones PRIMARY KEY,
    AbonentName    nvarchar(max) NOT NULL CONSTRAINT DF_KordavinAbonentPhones_AbonentName DEFAULT N'',
    AbonentComment nvarchar(max) NOT NULL CONSTRAINT DF_KordavinAbonentPhones_AbonentComment DEFAULT N'',
    Deleted        smallint      NOT NULL CONSTRAINT DF_KordavinAbonentPhones_Deleted DEFAULT 0,
    ChangeStamp    bigint        NOT NULL CONSTRAINT DF_KordavinAbonentPhones_ChangeStamp DEFAULT 0,
    ChangedBy      nvarchar(256) NOT NULL CONSTRAINT DF_KordavinAbonentPhones_ChangedBy DEFAULT N'',
    ChangedAt      datetime2(3)  NULL  -- UTC
);
CREATE INDEX KordavinAbonentPhones_ChangeStamp ON dbo.KordavinAbonentPhones (ChangeStamp);

-- The last change stamp given, in one row. Counting there (not with a
-- SEQUENCE or rowversion) keeps the row locked until the writer's transaction
-- ends, so stamps become visible in the order they were given and a
-- workstation that has read up to stamp 20 never misses a 19 committed later.
CREATE TABLE dbo.KordavinAbonentPhonesStamp (Stamp bigint NOT NULL);
INSERT INTO dbo.KordavinAbonentPhonesStamp (Stamp) VALUES (0);
GO

-- SQL Server has no BEFORE trigger: the rows just written get their stamps
-- after the statement, numbered one by one.
CREATE TRIGGER dbo.KordavinAbonentPhonesStamping ON dbo.KordavinAbonentPhones
AFTER INSERT, UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    -- The trigger's own UPDATE below must not stamp again (with RECURSIVE_TRIGGERS on).
    IF TRIGGER_NESTLEVEL(@@PROCID) > 1 RETURN;
    DECLARE @count bigint = (SELECT COUNT(*) FROM inserted);
    IF @count = 0 RETURN;
    DECLARE @last bigint;
    UPDATE dbo.KordavinAbonentPhonesStamp SET @last = Stamp = Stamp + @count;
    UPDATE p SET ChangeStamp = @last - @count + n.Number
    FROM dbo.KordavinAbonentPhones AS p
    JOIN (SELECT Phone, ROW_NUMBER() OVER (ORDER BY Phone) AS Number FROM inserted) AS n ON n.Phone = p.Phone;
END;
GO
