/* Quillbase.orv: a sample company database, for the demo and the tests.
   Its content is generated and always the same, with Spanish text
   (accents, ñ, €) that must survive a backup and a restore.
   The database itself is created by scripts/make-db.sh
   (PAGE_SIZE 4096, DEFAULT CHARACTER SET WIN1252). */

CREATE TABLE CLIENTES (
  ID        INTEGER NOT NULL,
  NOMBRE    VARCHAR(80) NOT NULL,
  CIF       VARCHAR(12),
  POBLACION VARCHAR(60),
  ALTA      DATE,
  CONSTRAINT PK_CLIENTES PRIMARY KEY (ID),
  CONSTRAINT UQ_CLIENTES_CIF UNIQUE (CIF)
);

CREATE TABLE ARTICULOS (
  ID          INTEGER NOT NULL,
  CODIGO      VARCHAR(20) NOT NULL,
  DESCRIPCION VARCHAR(100),
  PRECIO      NUMERIC(12,2) DEFAULT 0 NOT NULL,
  CONSTRAINT PK_ARTICULOS PRIMARY KEY (ID),
  CONSTRAINT UQ_ARTICULOS_CODIGO UNIQUE (CODIGO),
  CONSTRAINT CK_ARTICULOS_PRECIO CHECK (PRECIO >= 0)
);

CREATE TABLE FACTURAS (
  ID            INTEGER NOT NULL,
  NUMERO        VARCHAR(15) NOT NULL,
  FECHA         DATE NOT NULL,
  CLIENTE       INTEGER NOT NULL,
  TOTAL         NUMERIC(14,2) DEFAULT 0 NOT NULL,
  OBSERVACIONES BLOB SUB_TYPE TEXT,
  CONSTRAINT PK_FACTURAS PRIMARY KEY (ID),
  CONSTRAINT UQ_FACTURAS_NUMERO UNIQUE (NUMERO),
  CONSTRAINT FK_FACTURAS_CLIENTE FOREIGN KEY (CLIENTE) REFERENCES CLIENTES (ID)
);

CREATE TABLE LINEAS (
  FACTURA  INTEGER NOT NULL,
  LINEA    SMALLINT NOT NULL,
  ARTICULO INTEGER NOT NULL,
  CANTIDAD NUMERIC(10,2) NOT NULL,
  PRECIO   NUMERIC(12,2) NOT NULL,
  CONSTRAINT PK_LINEAS PRIMARY KEY (FACTURA, LINEA),
  CONSTRAINT FK_LINEAS_FACTURA FOREIGN KEY (FACTURA) REFERENCES FACTURAS (ID) ON DELETE CASCADE,
  CONSTRAINT FK_LINEAS_ARTICULO FOREIGN KEY (ARTICULO) REFERENCES ARTICULOS (ID)
);

CREATE INDEX CLIENTES_NOMBRE ON CLIENTES (NOMBRE);
CREATE INDEX FACTURAS_FECHA ON FACTURAS (FECHA);
CREATE DESCENDING INDEX FACTURAS_TOTAL ON FACTURAS (TOTAL);

CREATE SEQUENCE GEN_FACTURAS;

CREATE VIEW VENTAS_POR_CLIENTE (CLIENTE, NOMBRE, FACTURAS, IMPORTE) AS
  SELECT C.ID, C.NOMBRE, COUNT(F.ID), COALESCE(SUM(F.TOTAL), 0)
  FROM CLIENTES C LEFT JOIN FACTURAS F ON F.CLIENTE = C.ID
  GROUP BY C.ID, C.NOMBRE;

COMMIT;

SET TERM ^ ;

/* 240 customers, 120 articles, 1,500 invoices with 1 to 5 lines each. */
EXECUTE BLOCK AS
  DECLARE I INTEGER;
  DECLARE J INTEGER;
  DECLARE N INTEGER;
  DECLARE F INTEGER;
BEGIN
  I = 1;
  WHILE (I <= 240) DO
  BEGIN
    INSERT INTO CLIENTES (ID, NOMBRE, CIF, POBLACION, ALTA)
    VALUES (:I,
      DECODE(MOD(:I, 12),
        0, 'Distribuciones Muñoz',  1, 'Cerámicas Martínez',   2, 'Panadería Núñez',
        3, 'Óptica Ibáñez',         4, 'Ferretería Pérez',     5, 'Café Jardín',
        6, 'Librería Begoña',       7, 'Construcciones Gómez', 8, 'Pescadería Fernández',
        9, 'Autoescuela Peña',     10, 'Farmacia Góñez',       11, 'Electrónica Sáez')
        || ' ' || :I,
      'B' || LPAD(:I * 7919, 8, '0'),
      DECODE(MOD(:I, 8),
        0, 'Cádiz', 1, 'León', 2, 'Logroño', 3, 'Málaga',
        4, 'Ávila', 5, 'Córdoba', 6, 'A Coruña', 7, 'Jaén'),
      DATEADD(MOD(:I * 37, 3650) DAY TO DATE '2015-01-01'));
    I = I + 1;
  END

  I = 1;
  WHILE (I <= 120) DO
  BEGIN
    INSERT INTO ARTICULOS (ID, CODIGO, DESCRIPCION, PRECIO)
    VALUES (:I, 'ART-' || LPAD(:I, 5, '0'),
      DECODE(MOD(:I, 10),
        0, 'Tornillo cabeza hexagonal', 1, 'Azulejo cerámico 20×20',
        2, 'Barra de pan rústica',      3, 'Montura de gafas señora',
        4, 'Cuaderno tamaño A4 (¡oferta!)', 5, 'Café molido 250 g',
        6, 'Mesa de jardín',            7, 'Cable eléctrico 2,5 mm²',
        8, 'Bombilla LED cálida',       9, 'Pasta de dientes «Sonrisa»')
        || ' nº ' || :I,
      (MOD(:I * 131, 9000) + 100) / 100.00);
    I = I + 1;
  END

  I = 1;
  WHILE (I <= 1500) DO
  BEGIN
    F = NEXT VALUE FOR GEN_FACTURAS;
    INSERT INTO FACTURAS (ID, NUMERO, FECHA, CLIENTE, OBSERVACIONES)
    VALUES (:F, 'F' || (2024 + MOD(:F, 3)) || '/' || LPAD(:F, 6, '0'),
      DATEADD(MOD(:F * 13, 1095) DAY TO DATE '2024-01-01'),
      MOD(:F * 17, 240) + 1,
      IIF(MOD(:F, 9) = 0,
        'Entrega en almacén.' || ASCII_CHAR(13) || ASCII_CHAR(10) ||
        'Pago a 30 días; importe en €.', NULL));
    N = MOD(:F, 5) + 1;
    J = 1;
    WHILE (J <= N) DO
    BEGIN
      INSERT INTO LINEAS (FACTURA, LINEA, ARTICULO, CANTIDAD, PRECIO)
      SELECT :F, :J, A.ID, MOD(:F + :J * 3, 12) + 1, A.PRECIO
      FROM ARTICULOS A
      WHERE A.ID = MOD(:F * 7 + :J * 11, 120) + 1;
      J = J + 1;
    END
    I = I + 1;
  END

  UPDATE FACTURAS FA SET TOTAL =
    (SELECT COALESCE(SUM(L.CANTIDAD * L.PRECIO), 0) FROM LINEAS L WHERE L.FACTURA = FA.ID);
END^

SET TERM ; ^

COMMIT;
