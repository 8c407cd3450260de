/* Grows the sample company database (schema/company.sql) to a few hundred
   megabytes for the backup benchmark: 400,000 more invoices with a text
   remark each, 5 lines per invoice. */
SET TERM ^ ;

EXECUTE BLOCK AS
  DECLARE I INTEGER;
  DECLARE L INTEGER;
BEGIN
  I = 1501;
  WHILE (I <= 401500) DO
  BEGIN
    INSERT INTO FACTURAS (ID, NUMERO, FECHA, CLIENTE, TOTAL, OBSERVACIONES)
    VALUES (:I, 'B' || LPAD(:I, 8, '0'), DATEADD(MOD(:I, 3650) DAY TO DATE '2016-01-01'),
      MOD(:I, 240) + 1, MOD(:I * 37, 100000) / 100.0,
      'Factura ' || :I || ' de prueba: entrega en almacén, pago a 30 días, ' ||
      'portes pagados. Observaciones del cliente sobre el pedido número ' || :I ||
      ' con artículos de temporada y descuentos por volumen según condiciones pactadas. ' ||
      LPAD('', MOD(:I, 120), 'x'));
    L = 1;
    WHILE (L <= 5) DO
    BEGIN
      INSERT INTO LINEAS (FACTURA, LINEA, ARTICULO, CANTIDAD, PRECIO)
      VALUES (:I, :L, MOD(:I + :L, 120) + 1, MOD(:I, 17) + 1, MOD(:I * :L, 5000) / 10.0);
      L = L + 1;
    END
    I = I + 1;
  END
END^

SET TERM ; ^
COMMIT;
