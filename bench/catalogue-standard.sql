/* The benchmark's standard-layout catalogue: 200,000 items, deterministic. Every item has a barcode row
   (a tenth a second barcode), a price row at levels P1 and P2 (a tenth on promotion at P1), and a shelf
   row in stores S01 and S02. Half the ALU codes are blank, as in a real POS. Codes:
   item i: link K0000i, PLU code C0000i, barcode 955 + i in 10 digits, second barcode 956 + i. */

SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE i INTEGER = 1;
  DECLARE n VARCHAR(10);
  DECLARE link VARCHAR(20);
BEGIN
  WHILE (i <= 200000) DO
  BEGIN
    n = LPAD(CAST(i AS VARCHAR(10)), 7, '0');
    link = 'K' || n;
    INSERT INTO Mas_Stock (M_PluLinkId, M_PluCode, M_ALu, M_Barcode, M_DESC, M_SHELF, M_UNIT)
      VALUES (:link, 'C' || :n, IIF(MOD(:i, 2) = 1, 'A' || :n, ''), '955' || LPAD(CAST(:i AS VARCHAR(10)), 10, '0'),
              'BENCH ITEM ' || :n || IIF(MOD(:i, 3) = 0, ' FAMILY PACK 1.5KG', ''), 'R' || MOD(:i, 40), 'PCS');
    INSERT INTO Mas_Stock_Barcode (M_BarCode, M_PluLinkId)
      VALUES ('955' || LPAD(CAST(:i AS VARCHAR(10)), 10, '0'), :link);
    IF (MOD(i, 10) = 5) THEN
      INSERT INTO Mas_Stock_Barcode (M_BarCode, M_PluLinkId)
        VALUES ('956' || LPAD(CAST(:i AS VARCHAR(10)), 10, '0'), :link);
    INSERT INTO Mas_Stock_Price (M_PluLinkId, M_Level, M_QTY, M_OFQTY, M_PRICE, M_DATEACTIVE, M_DATEFROM, M_DATETO,
                                 M_TIMEACTIVE, M_TIMEFROM, M_TIMETO, M_DISCPRICE, M_DATEACTIVE2, M_DATEFROM2,
                                 M_DATETO2, M_TIMEACTIVE2, M_TIMEFROM2, M_TIMETO2, M_DISCPRICE2)
      VALUES (:link, 'P1', 1, 1, 1 + MOD(:i, 9000) / 100.0,
              IIF(MOD(:i, 10) = 0, 'T', 'F'), '2020-01-01 00:00:00', '2099-12-31 23:59:59',
              IIF(MOD(:i, 20) = 0, 'T', 'F'), '2020-01-01 09:00:00', '2020-01-01 17:30:00', 0.5 + MOD(:i, 9000) / 100.0,
              'F', NULL, NULL, 'F', NULL, NULL, NULL);
    INSERT INTO Mas_Stock_Price (M_PluLinkId, M_Level, M_QTY, M_OFQTY, M_PRICE, M_DATEACTIVE, M_TIMEACTIVE,
                                 M_DATEACTIVE2, M_TIMEACTIVE2)
      VALUES (:link, 'P2', 1, 1, 1.1 + MOD(:i, 9000) / 100.0, 'F', 'F', 'F', 'F');
    INSERT INTO MAS_Stock_SHELF (M_Store, M_PluLinkId, M_SHELF, M_UPDATE)
      VALUES ('S01', :link, 'A' || MOD(:i, 50) || '-' || MOD(:i, 7), '2024-01-01 08:00:00');
    INSERT INTO MAS_Stock_SHELF (M_Store, M_PluLinkId, M_SHELF, M_UPDATE)
      VALUES ('S02', :link, 'B' || MOD(:i, 50) || '-' || MOD(:i, 7), '2024-01-02 08:00:00');
    i = i + 1;
  END
END^
SET TERM ; ^
COMMIT;
