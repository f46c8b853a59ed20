000010* Source form: sequence numbers, identification area past
000020* column 72, comment and page lines, debugging lines, words
000030* and literals continued on the next line, VALUE clauses,
000040* level-88 and level-66 entries.
000050/
000070  01  CONTINUED-RECORD.                                           CONTREC1
000080      05  C-FIRST-NAME            PIC X(12) VALUE "ANNA".         CONTREC2
000090      05  C-VERY-LONG-NAME-THAT-IS-CONT
000100-                 INUED            PIC X(4).
000110      05  C-PIC-CONTINUED         PIC S9(5)V9
000120-         9 COMP-3.
000130      05  C-LITERAL               PIC X(60) VALUE "A LONG LITERA  
000140-    "L THAT GOES ON IN THE NEXT LINE".
000150D     05  C-DEBUG-ONLY            PIC X(99).
000160      05  C-STATUS                PIC X.     *> a floating comment
000170          88  C-OPEN              VALUE "O" "o".
000180          88  C-CLOSED            VALUES ARE "C" THRU "D"
000190                                  "X".
000200      05  C-AMOUNT                PIC S9(7)V99 COMP-3
000210                                  VALUE ZERO.
000220          88  C-NONE              VALUE 0.
000230          88  C-SOME              VALUE 0.01 THRU 9999999.99.
000240      05  C-QUOTES                PIC X(10) VALUE 'IT''S'.
000250      05  C-HEX                   PIC X(2) VALUE X"0D0A".
000260      05  C-SPACES                PIC X(3) VALUE SPACES.
000270      05  C-ALL                   PIC X(5) VALUE ALL "-".
000280      05  C-NEG                   PIC S9(3) VALUE -12.
000290      05  C-JUST                  PIC X(6) JUSTIFIED RIGHT.
000300      05  C-BLANK                 PIC ZZ9 BLANK WHEN ZERO.
000310      05  C-PTR                   POINTER VALUE NULL.
000320      05  C-HIGH                  PIC X(2) VALUE HIGH-VALUES.
000330      05  C-COMMAS, PIC 9(3), VALUE 7; SYNC.
000340      05  C-TAB	PIC X(2).
000360  66  C-NAMES RENAMES C-FIRST-NAME THRU C-PIC-CONTINUED.
000370  66  C-ONE-NAME RENAMES C-STATUS.
        01  SECOND-CONTINUED.
            05  SC-A PIC X(3).  05  SC-B PIC X(4).
            05  SC-C
                PIC
                9(4)
                .
