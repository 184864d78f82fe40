/* The benchmark's extended-layout catalogue: 200,000 items, deterministic. Every item has a barcode row
   (a tenth a second barcode), all price columns (a tenth with a lower minimum price), and a shelf row in
   stores S01 and S02. Codes: item i: stock id i, stock code C0000i, barcode 955 + i in 10 digits,
   second barcode 956 + i. */

SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE i INTEGER = 1;
  DECLARE n VARCHAR(10);
  DECLARE price DOUBLE PRECISION;
BEGIN
  WHILE (i <= 200000) DO
  BEGIN
    n = LPAD(CAST(i AS VARCHAR(10)), 7, '0');
    price = 1 + MOD(i, 9000) / 100.0;
    INSERT INTO Mas_Stock (M_STOCK_ID, M_STOCK_CODE, M_Barcode, M_DESC, M_SHELF, M_PRICE, M_P1_S1, M_P1_S2,
                           M_P1_S3, M_P1_S4, M_P1_S5, M_P1_S6, M_P1_S7, M_P1_S8, M_P1_S9, M_P1_MIN_PRICE)
      VALUES (:i, 'C' || :n, '955' || LPAD(CAST(:i AS VARCHAR(10)), 10, '0'),
              'BENCH ITEM ' || :n || IIF(MOD(:i, 3) = 0, ' FAMILY PACK 1.5KG', ''), 'R' || MOD(:i, 40),
              :price, :price - 0.01, :price - 0.02, :price - 0.03, :price - 0.04, :price - 0.05, :price - 0.06,
              :price - 0.07, :price - 0.08, :price - 0.09, IIF(MOD(:i, 10) = 0, :price / 2, :price - 0.1));
    INSERT INTO Mas_Stock_Barcode (M_BarCode, M_STOCK_ID)
      VALUES ('955' || LPAD(CAST(:i AS VARCHAR(10)), 10, '0'), :i);
    IF (MOD(i, 10) = 5) THEN
      INSERT INTO Mas_Stock_Barcode (M_BarCode, M_STOCK_ID)
        VALUES ('956' || LPAD(CAST(:i AS VARCHAR(10)), 10, '0'), :i);
    INSERT INTO MAS_Stock_SHELF (M_STOCK_ID, M_STORE, M_SHELF, M_DATE_UPDATE)
      VALUES (:i, 'S01', 'A' || MOD(:i, 50) || '-' || MOD(:i, 7), '2024-01-01 08:00:00');
    INSERT INTO MAS_Stock_SHELF (M_STOCK_ID, M_STORE, M_SHELF, M_DATE_UPDATE)
      VALUES (:i, 'S02', 'B' || MOD(:i, 50) || '-' || MOD(:i, 7), '2024-01-02 08:00:00');
    i = i + 1;
  END
END^
SET TERM ; ^
COMMIT;
