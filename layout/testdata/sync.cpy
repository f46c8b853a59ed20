      * SYNCHRONIZED: binary, floating-point, pointer and index items
      * moved to their boundary, in groups, in tables (where the
      * compiler pads each occurrence before its last item), and a
      * group of USAGE COMP that moves while its items stay.
       01  SYNC-RECORD.
           05  Y-A                     PIC X.
           05  Y-B                     PIC S9(4) COMP SYNC.
           05  Y-C                     PIC X.
           05  Y-D                     PIC S9(9) COMP-5 SYNCHRONIZED.
           05  Y-E                     PIC X.
           05  Y-F                     COMP-2 SYNC.
           05  Y-G                     PIC X.
           05  Y-H                     USAGE POINTER SYNC.
           05  Y-I                     PIC X.
           05  Y-J                     INDEX SYNC LEFT.
           05  Y-K                     PIC X.
           05  Y-L                     COMP-1 SYNC RIGHT.
           05  Y-M                     PIC 9 COMP-5 SYNC.
           05  Y-N                     PIC 9(5) COMP-3 SYNC.
           05  Y-O                     PIC X(3) SYNC.
           05  Y-T                     OCCURS 3.
               10  Y-T1                PIC X.
               10  Y-T2                PIC S9(9) COMP SYNC.
               10  Y-T3                PIC XX.
           05  Y-U                     OCCURS 3.
               10  Y-U1                PIC X.
               10  Y-U2                PIC S9(9) COMP SYNC.
           05  Y-P                     PIC X.
           05  Y-V                     OCCURS 2.
               10  Y-V1                PIC X.
               10  Y-W                 OCCURS 2.
                   15  Y-W1            PIC X.
                   15  Y-W2            PIC S9(4) COMP SYNC.
           05  Y-Q                     PIC X.
           05  Y-X                     OCCURS 2.
               10  Y-X1                PIC S9(4) COMP SYNC.
               10  Y-X2.
                   15  Y-X3            PIC X.
           05  Y-GRP                   USAGE COMP SYNC.
               10  Y-GRP1              PIC S9(4).
               10  Y-GRP2              PIC S9(4).
           05  Y-R                     PIC X.
           05  Y-S                     PIC 9(10) COMP-5 OCCURS 2 SYNC.
           05  Y-Z                     PIC X.
           05  Y-ODD                   PIC S9(1) COMP SYNC.
           05  Y-RED                   PIC X(3).
           05  Y-RED2 REDEFINES Y-RED  PIC S9(4) COMP SYNC.
           05  Y-END                   PIC X.
