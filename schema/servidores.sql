/* Servidores.gdb: the Quillbase servers known to this computer.
   Created empty; the database itself is created by scripts/make-db.sh
   (PAGE_SIZE 4096, DEFAULT CHARACTER SET WIN1252). */

CREATE TABLE SERVIDORES (
  ALIAS       VARCHAR(60),   /* the operator's name for the server */
  RUTAACCESO  VARCHAR(255),  /* the server's folder, as seen on its own computer */
  DIRECCIONIP VARCHAR(60)    /* address of the server's computer; empty when local */
);

COMMIT;
