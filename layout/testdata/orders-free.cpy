*> Free-form source: an order with its lines, as a program of our own
*> might write it. Lines begin anywhere and may be long.
01 ORDER-RECORD.
   05 ORD-NO          PIC 9(10).
   05 ORD-CUSTOMER    PIC 9(8).  *> the customer's CUST-NO
   05 ORD-DATE.
      10 ORD-YEAR     PIC 9(4).
      10 ORD-MONTH    PIC 99.
      10 ORD-DAY      PIC 99.
   05 ORD-STATUS      PIC XX.
      88 ORD-OPEN     VALUE 'OP'.
      88 ORD-SHIPPED  VALUE 'SH'.
   05 ORD-LINE-COUNT  PIC S9(4) COMP-5.
   05 ORD-LINES OCCURS 1 TO 50 TIMES DEPENDING ON ORD-LINE-COUNT INDEXED BY ORD-IX.
      10 ORD-ARTICLE  PIC X(20).
      10 ORD-QUANTITY PIC S9(5) COMP-3.
      10 ORD-PRICE    PIC S9(7)V99 COMP-3.
01 order-totals.
   05 tot-net         pic s9(11)v99 comp-3.
   05 tot-tax         pic s9(11)v99 comp-3.   05 tot-lines pic 9(4) binary.
   05 tot-ratio       comp-2.
