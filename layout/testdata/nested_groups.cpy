      * Groups in groups, levels with gaps and without leading zeros,
      * FILLER and unnamed items, names that repeat under other groups.
       01  NESTED-RECORD.
           03  N-HEAD.
               07  N-ID                PIC 9(6).
               07  FILLER              PIC X(2).
               07  N-NAME.
                   12  N-FIRST         PIC X(10).
                   12  N-LAST          PIC X(15).
           03  N-BODY.
              5  N-ADDRESS.
                9  N-STREET            PIC X(20).
                9  N-CITY              PIC X(15).
                9                      PIC X(3).
              5  N-OTHER-ADDRESS.
                9  N-STREET            PIC X(25).
                9  N-CITY              PIC X(12).
                9  N-DEEP.
                  11 N-D1.
                    13 N-D2.
                      15 N-D3.
                        17 N-D4.
                          19 N-D5.
                            21 N-D6.
                              23 N-D7  PIC X(4).
                              23 N-D8  PIC 9(2) COMP.
           03  N-TAIL                  PIC X(4).
       01  SECOND-RECORD.
           05  S-CODE                  PIC XX.
           05  S-AMOUNT                PIC S9(7)V99 COMP-3.
       01  ELEMENTARY-RECORD           PIC X(33).
