/* Backup.fdb: the backup log.
   The database itself is created by scripts/make-db.sh
   (PAGE_SIZE 4096, DEFAULT CHARACTER SET WIN1252). */

CREATE TABLE BACKUPLOG (
  FECHA         DATE,
  HORA          VARCHAR(5),     /* "hh:nn", 24-hour clock */
  SERVIDOR      VARCHAR(1000),  /* "[address]alias", "[]alias" for a local server */
  EMPRESA       VARCHAR(1000),
  DESTINO       VARCHAR(1000),
  EXITO         VARCHAR(1),     /* "T" or "F" */
  OBSERVACIONES BLOB SUB_TYPE TEXT
);

/* The log browser lists the newest rows first
   ("order by fecha desc, hora desc"): a descending index lets the
   engine walk the rows in that order instead of sorting the table. */
CREATE DESCENDING INDEX BACKUPLOG_FECHA_HORA ON BACKUPLOG (FECHA, HORA);

/* The log browser's view by server. */
CREATE INDEX BACKUPLOG_SERVIDOR ON BACKUPLOG (SERVIDOR);

COMMIT;

/* ADDLINEASLOG appends one row and answers RESULT = 0, or RESULT = -1
   when the row could not be stored (nothing is stored then).
   FECHA arrives as day-first text "dd/mm/yyyy". Firebird reads a date
   with slashes month first but a date with dots day first, so the
   slashes become dots before the conversion: "09/12/2026" is the
   9th of December 2026, and "31/02/2026" is refused. */
SET TERM ^ ;

CREATE PROCEDURE ADDLINEASLOG (
  FECHA         VARCHAR(10),
  HORA          VARCHAR(5),
  SERVIDOR      VARCHAR(1000),
  EMPRESA       VARCHAR(1000),
  DESTINO       VARCHAR(1000),
  EXITO         VARCHAR(1),
  OBSERVACIONES BLOB SUB_TYPE TEXT)
RETURNS (
  RESULT INTEGER)
AS
BEGIN
  RESULT = -1;
  BEGIN
    INSERT INTO BACKUPLOG (FECHA, HORA, SERVIDOR, EMPRESA, DESTINO, EXITO, OBSERVACIONES)
    VALUES (CAST(REPLACE(:FECHA, '/', '.') AS DATE), :HORA, :SERVIDOR, :EMPRESA,
            :DESTINO, :EXITO, :OBSERVACIONES);
    RESULT = 0;
    /* A handled error undoes everything this block did: no row. */
    WHEN ANY DO
      RESULT = -1;
  END
END^

SET TERM ; ^

COMMIT;
