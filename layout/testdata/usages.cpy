      * Every usage, the sign clauses, and usages a group passes down.
       01  USAGE-RECORD.
           05  U-TEXT                  PIC X(7).
           05  U-ZONED                 PIC S9(5)V99.
           05  U-ZONED-LEAD            PIC S9(3) SIGN IS LEADING.
           05  U-SEP-LEAD          PIC S9(4)V9 SIGN LEADING SEPARATE.
           05  U-SEP-TRAIL             PIC S99 SIGN TRAILING SEPARATE
                                       CHARACTER.
           05  U-UNSIGNED              PIC 9(6) USAGE IS DISPLAY.
           05  U-BIN                   PIC S9(4) USAGE COMP.
           05  U-BIN-4             PIC S9(9) USAGE IS COMPUTATIONAL-4.
           05  U-NATIVE                PIC 9(9) COMPUTATIONAL-5.
           05  U-PACKED                PIC S9(7)V99 COMP-3.
           05  U-PACKED-EVEN           PIC 9(6) PACKED-DECIMAL.
           05  U-PACKED-31             PIC S9(31) COMPUTATIONAL-3.
           05  U-PACKED-38             PIC S9(20)V9(18) COMP-3.
           05  U-FLOAT                 COMP-1.
           05  U-DOUBLE                USAGE COMPUTATIONAL-2.
           05  U-POINTER               USAGE POINTER.
           05  U-INDEX                 INDEX.
           05  U-PACKED-GROUP          USAGE COMP-3.
               10  U-PG-1              PIC S9(5).
               10  U-PG-2              PIC 9(4).
               10  U-PG-3              PIC S9(3) COMP-5.
           05  U-SIGN-GROUP            SIGN LEADING SEPARATE.
               10  U-SG-1              PIC S9(3).
               10  U-SG-2              PIC 9(3).
               10  U-SG-3              PIC S9(3) COMP.
               10  U-SG-4              PIC S9(3) SIGN TRAILING.
           05  U-BIN-GROUP             BINARY.
               10  U-BG-1              PIC S9(2).
               10  U-BG-2              PIC S9(6).
           05  U-INDEX-GROUP           USAGE INDEX.
               10  U-IG-1.
               10  U-IG-2.
           05  U-FLOAT-GROUP           COMP-2.
               10  U-FG-1.
               10  U-FG-2              OCCURS 2.
           05  U-LAST                  PIC X.
       77  U-STANDALONE                PIC S9(11) COMP-3.
       77  U-STANDALONE-BIN            PIC S9(11) COMP.
