      * Tables: of items, of groups, tables in tables, REDEFINES of
      * tables and tables that redefine, with KEY and INDEXED BY.
       01  TABLE-RECORD.
           05  T-COUNT                 PIC 9(2).
           05  T-CODES                 PIC X(3) OCCURS 5 TIMES.
           05  T-CODE-LINE REDEFINES T-CODES
                                       PIC X(15).
           05  T-LINES                 OCCURS 4 TIMES
                                       ASCENDING KEY IS T-LINE-NO
                                       INDEXED BY T-IX T-IX2.
               10  T-LINE-NO           PIC 9(3).
               10  T-LINE-AMOUNT       PIC S9(5)V99 COMP-3.
               10  T-LINE-TAGS         PIC X OCCURS 3.
               10  T-LINE-PARTS        OCCURS 2.
                   15  T-PART-ID       PIC X(4).
                   15  T-PART-QTY      PIC S9(4) COMP.
                   15  T-PART-BINS     PIC 9 OCCURS 3.
           05  T-MATRIX.
               10  T-ROW               OCCURS 3.
                   15  T-CELL          OCCURS 4 PIC S9(3) COMP-3.
           05  T-FLAT REDEFINES T-MATRIX PIC X(36).
           05  T-WORDS.
               10  T-WORD              PIC X(8) OCCURS 6.
           05  T-WORDS-AGAIN REDEFINES T-WORDS.
               10  T-HALF              OCCURS 12 PIC X(4).
           05  T-ONE                   PIC X(5) OCCURS 1.
           05  T-NUMS                  PIC S9(9) COMP-5 OCCURS 3.
           05  T-FLOATS                COMP-2 OCCURS 2.
           05  T-LAST                  PIC X.
