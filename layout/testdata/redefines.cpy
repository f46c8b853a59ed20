      * REDEFINES: chains, a longer redefinition that grows its group,
      * groups redefined by items and back, and a record redefining a
      * record.
       01  REDEFINES-RECORD.
           05  R-DATE                  PIC 9(8).
           05  R-DATE-PARTS REDEFINES R-DATE.
               10  R-YEAR              PIC 9(4).
               10  R-MONTH             PIC 99.
               10  R-DAY               PIC 99.
           05  R-DATE-TEXT REDEFINES R-DATE PIC X(8).
           05  R-SHORT                 PIC X(2).
           05  R-LONGER REDEFINES R-SHORT PIC X(6).
           05  R-LONGEST REDEFINES R-SHORT PIC X(9).
           05  R-MIDDLE REDEFINES R-SHORT PIC X(4).
           05  R-AFTER                 PIC X(3).
           05  R-GROUP.
               10  R-G1                PIC S9(7) COMP-3.
               10  R-G2                PIC X(5).
           05  R-GROUP-NUM REDEFINES R-GROUP PIC 9(9).
           05  R-TAIL                  PIC X.
       01  REDEFINING-RECORD REDEFINES REDEFINES-RECORD.
           05  RR-ALL                  PIC X(40).
       01  FILLER-REDEFINES.
           05  RF-CODE                 PIC X(4).
           05  FILLER REDEFINES RF-CODE PIC 9(4).
           05  FILLER                  PIC X(6).
           05  RF-END                  PIC X.
