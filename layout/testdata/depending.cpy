      * OCCURS DEPENDING ON, laid out at the maximum: at the end of a
      * record, inside the last group, with tables inside it.
       01  DEPENDING-RECORD.
           05  D-COUNT                 PIC 9(3).
           05  D-HEAD                  PIC X(10).
           05  D-ITEMS                 OCCURS 0 TO 20 TIMES
                                       DEPENDING ON D-COUNT
                                       INDEXED BY D-IX.
               10  D-ITEM-NO           PIC 9(4).
               10  D-ITEM-TAGS         PIC X OCCURS 3.
               10  D-ITEM-SUM          PIC S9(4) COMP SYNC.
       01  DEPENDING-NESTED.
           05  DN-HEAD.
               10  DN-COUNT            PIC S9(4) COMP.
           05  DN-BODY.
               10  DN-NAME             PIC X(7).
               10  DN-LINES            PIC X(5)
                                       OCCURS 1 TO 9
                                       DEPENDING ON DN-COUNT OF DN-HEAD.
       01  DEPENDING-REDEFINED.
           05  DR-COUNT                PIC 99.
           05  DR-CELLS                PIC X(2) OCCURS 1 TO 6
                                       DEPENDING ON DR-COUNT.
