/* Empresas.gdb: the companies of one Quillbase server, one folder each
   under the server's folder. Only NOMBREEMPRESA is read by the backup
   program; the other columns belong to the business application.
   The database itself is created by scripts/make-db.sh
   (PAGE_SIZE 4096, DEFAULT CHARACTER SET WIN1252). */

CREATE TABLE EMPRESAS (
  NOMBREEMPRESA VARCHAR(100),  /* company name = name of its folder */
  CIF           VARCHAR(12),
  ALTA          DATE
);

COMMIT;
