000100** Binary items of 1 to 18 digits in every binary usage, signed
000200** and unsigned, and with decimal places: their sizes follow the
000300** compiler's binary-size option.
000400  01  BIN-SIZES.
000500      05  BS-C-S01  PIC S9(1) COMP.                               BINSIZES
000600      05  BS-C-U01  PIC 9(1) COMP.
000700      05  BS-C-S02  PIC S9(2) COMP.                               BINSIZES
000800      05  BS-C-U02  PIC 9(2) COMP.
000900      05  BS-C-S03  PIC S9(3) COMP.                               BINSIZES
001000      05  BS-C-U03  PIC 9(3) COMP.
001100      05  BS-C-S04  PIC S9(4) COMP.                               BINSIZES
001200      05  BS-C-U04  PIC 9(4) COMP.
001300      05  BS-C-S05  PIC S9(5) COMP.                               BINSIZES
001400      05  BS-C-U05  PIC 9(5) COMP.
001500      05  BS-C-S06  PIC S9(6) COMP.                               BINSIZES
001600      05  BS-C-U06  PIC 9(6) COMP.
001700      05  BS-C-S07  PIC S9(7) COMP.                               BINSIZES
001800      05  BS-C-U07  PIC 9(7) COMP.
001900      05  BS-C-S08  PIC S9(8) COMP.                               BINSIZES
002000      05  BS-C-U08  PIC 9(8) COMP.
002100      05  BS-C-S09  PIC S9(9) COMP.                               BINSIZES
002200      05  BS-C-U09  PIC 9(9) COMP.
002300      05  BS-C-S10  PIC S9(10) COMP.                              BINSIZES
002400      05  BS-C-U10  PIC 9(10) COMP.
002500      05  BS-C-S11  PIC S9(11) COMP.                              BINSIZES
002600      05  BS-C-U11  PIC 9(11) COMP.
002700      05  BS-C-S12  PIC S9(12) COMP.                              BINSIZES
002800      05  BS-C-U12  PIC 9(12) COMP.
002900      05  BS-C-S13  PIC S9(13) COMP.                              BINSIZES
003000      05  BS-C-U13  PIC 9(13) COMP.
003100      05  BS-C-S14  PIC S9(14) COMP.                              BINSIZES
003200      05  BS-C-U14  PIC 9(14) COMP.
003300      05  BS-C-S15  PIC S9(15) COMP.                              BINSIZES
003400      05  BS-C-U15  PIC 9(15) COMP.
003500      05  BS-C-S16  PIC S9(16) COMP.                              BINSIZES
003600      05  BS-C-U16  PIC 9(16) COMP.
003700      05  BS-C-S17  PIC S9(17) COMP.                              BINSIZES
003800      05  BS-C-U17  PIC 9(17) COMP.
003900      05  BS-C-S18  PIC S9(18) COMP.                              BINSIZES
004000      05  BS-C-U18  PIC 9(18) COMP.
004100      05  BS-B-S01  PIC S9(1) BINARY.                             BINSIZES
004200      05  BS-B-U01  PIC 9(1) BINARY.
004300      05  BS-B-S02  PIC S9(2) BINARY.                             BINSIZES
004400      05  BS-B-U02  PIC 9(2) BINARY.
004500      05  BS-B-S03  PIC S9(3) BINARY.                             BINSIZES
004600      05  BS-B-U03  PIC 9(3) BINARY.
004700      05  BS-B-S04  PIC S9(4) BINARY.                             BINSIZES
004800      05  BS-B-U04  PIC 9(4) BINARY.
004900      05  BS-B-S05  PIC S9(5) BINARY.                             BINSIZES
005000      05  BS-B-U05  PIC 9(5) BINARY.
005100      05  BS-B-S06  PIC S9(6) BINARY.                             BINSIZES
005200      05  BS-B-U06  PIC 9(6) BINARY.
005300      05  BS-B-S07  PIC S9(7) BINARY.                             BINSIZES
005400      05  BS-B-U07  PIC 9(7) BINARY.
005500      05  BS-B-S08  PIC S9(8) BINARY.                             BINSIZES
005600      05  BS-B-U08  PIC 9(8) BINARY.
005700      05  BS-B-S09  PIC S9(9) BINARY.                             BINSIZES
005800      05  BS-B-U09  PIC 9(9) BINARY.
005900      05  BS-B-S10  PIC S9(10) BINARY.                            BINSIZES
006000      05  BS-B-U10  PIC 9(10) BINARY.
006100      05  BS-B-S11  PIC S9(11) BINARY.                            BINSIZES
006200      05  BS-B-U11  PIC 9(11) BINARY.
006300      05  BS-B-S12  PIC S9(12) BINARY.                            BINSIZES
006400      05  BS-B-U12  PIC 9(12) BINARY.
006500      05  BS-B-S13  PIC S9(13) BINARY.                            BINSIZES
006600      05  BS-B-U13  PIC 9(13) BINARY.
006700      05  BS-B-S14  PIC S9(14) BINARY.                            BINSIZES
006800      05  BS-B-U14  PIC 9(14) BINARY.
006900      05  BS-B-S15  PIC S9(15) BINARY.                            BINSIZES
007000      05  BS-B-U15  PIC 9(15) BINARY.
007100      05  BS-B-S16  PIC S9(16) BINARY.                            BINSIZES
007200      05  BS-B-U16  PIC 9(16) BINARY.
007300      05  BS-B-S17  PIC S9(17) BINARY.                            BINSIZES
007400      05  BS-B-U17  PIC 9(17) BINARY.
007500      05  BS-B-S18  PIC S9(18) BINARY.                            BINSIZES
007600      05  BS-B-U18  PIC 9(18) BINARY.
007700      05  BS-F-S01  PIC S9(1) COMP-4.                             BINSIZES
007800      05  BS-F-U01  PIC 9(1) COMP-4.
007900      05  BS-F-S02  PIC S9(2) COMP-4.                             BINSIZES
008000      05  BS-F-U02  PIC 9(2) COMP-4.
008100      05  BS-F-S03  PIC S9(3) COMP-4.                             BINSIZES
008200      05  BS-F-U03  PIC 9(3) COMP-4.
008300      05  BS-F-S04  PIC S9(4) COMP-4.                             BINSIZES
008400      05  BS-F-U04  PIC 9(4) COMP-4.
008500      05  BS-F-S05  PIC S9(5) COMP-4.                             BINSIZES
008600      05  BS-F-U05  PIC 9(5) COMP-4.
008700      05  BS-F-S06  PIC S9(6) COMP-4.                             BINSIZES
008800      05  BS-F-U06  PIC 9(6) COMP-4.
008900      05  BS-F-S07  PIC S9(7) COMP-4.                             BINSIZES
009000      05  BS-F-U07  PIC 9(7) COMP-4.
009100      05  BS-F-S08  PIC S9(8) COMP-4.                             BINSIZES
009200      05  BS-F-U08  PIC 9(8) COMP-4.
009300      05  BS-F-S09  PIC S9(9) COMP-4.                             BINSIZES
009400      05  BS-F-U09  PIC 9(9) COMP-4.
009500      05  BS-F-S10  PIC S9(10) COMP-4.                            BINSIZES
009600      05  BS-F-U10  PIC 9(10) COMP-4.
009700      05  BS-F-S11  PIC S9(11) COMP-4.                            BINSIZES
009800      05  BS-F-U11  PIC 9(11) COMP-4.
009900      05  BS-F-S12  PIC S9(12) COMP-4.                            BINSIZES
010000      05  BS-F-U12  PIC 9(12) COMP-4.
010100      05  BS-F-S13  PIC S9(13) COMP-4.                            BINSIZES
010200      05  BS-F-U13  PIC 9(13) COMP-4.
010300      05  BS-F-S14  PIC S9(14) COMP-4.                            BINSIZES
010400      05  BS-F-U14  PIC 9(14) COMP-4.
010500      05  BS-F-S15  PIC S9(15) COMP-4.                            BINSIZES
010600      05  BS-F-U15  PIC 9(15) COMP-4.
010700      05  BS-F-S16  PIC S9(16) COMP-4.                            BINSIZES
010800      05  BS-F-U16  PIC 9(16) COMP-4.
010900      05  BS-F-S17  PIC S9(17) COMP-4.                            BINSIZES
011000      05  BS-F-U17  PIC 9(17) COMP-4.
011100      05  BS-F-S18  PIC S9(18) COMP-4.                            BINSIZES
011200      05  BS-F-U18  PIC 9(18) COMP-4.
011300      05  BS-X-S01  PIC S9(1) COMP-5.                             BINSIZES
011400      05  BS-X-U01  PIC 9(1) COMP-5.
011500      05  BS-X-S02  PIC S9(2) COMP-5.                             BINSIZES
011600      05  BS-X-U02  PIC 9(2) COMP-5.
011700      05  BS-X-S03  PIC S9(3) COMP-5.                             BINSIZES
011800      05  BS-X-U03  PIC 9(3) COMP-5.
011900      05  BS-X-S04  PIC S9(4) COMP-5.                             BINSIZES
012000      05  BS-X-U04  PIC 9(4) COMP-5.
012100      05  BS-X-S05  PIC S9(5) COMP-5.                             BINSIZES
012200      05  BS-X-U05  PIC 9(5) COMP-5.
012300      05  BS-X-S06  PIC S9(6) COMP-5.                             BINSIZES
012400      05  BS-X-U06  PIC 9(6) COMP-5.
012500      05  BS-X-S07  PIC S9(7) COMP-5.                             BINSIZES
012600      05  BS-X-U07  PIC 9(7) COMP-5.
012700      05  BS-X-S08  PIC S9(8) COMP-5.                             BINSIZES
012800      05  BS-X-U08  PIC 9(8) COMP-5.
012900      05  BS-X-S09  PIC S9(9) COMP-5.                             BINSIZES
013000      05  BS-X-U09  PIC 9(9) COMP-5.
013100      05  BS-X-S10  PIC S9(10) COMP-5.                            BINSIZES
013200      05  BS-X-U10  PIC 9(10) COMP-5.
013300      05  BS-X-S11  PIC S9(11) COMP-5.                            BINSIZES
013400      05  BS-X-U11  PIC 9(11) COMP-5.
013500      05  BS-X-S12  PIC S9(12) COMP-5.                            BINSIZES
013600      05  BS-X-U12  PIC 9(12) COMP-5.
013700      05  BS-X-S13  PIC S9(13) COMP-5.                            BINSIZES
013800      05  BS-X-U13  PIC 9(13) COMP-5.
013900      05  BS-X-S14  PIC S9(14) COMP-5.                            BINSIZES
014000      05  BS-X-U14  PIC 9(14) COMP-5.
014100      05  BS-X-S15  PIC S9(15) COMP-5.                            BINSIZES
014200      05  BS-X-U15  PIC 9(15) COMP-5.
014300      05  BS-X-S16  PIC S9(16) COMP-5.                            BINSIZES
014400      05  BS-X-U16  PIC 9(16) COMP-5.
014500      05  BS-X-S17  PIC S9(17) COMP-5.                            BINSIZES
014600      05  BS-X-U17  PIC 9(17) COMP-5.
014700      05  BS-X-S18  PIC S9(18) COMP-5.                            BINSIZES
014800      05  BS-X-U18  PIC 9(18) COMP-5.
014900      05  BS-K-S01  PIC S9(1) COMPUTATIONAL.                      BINSIZES
015000      05  BS-K-U01  PIC 9(1) COMPUTATIONAL.
015100      05  BS-K-S02  PIC S9(2) COMPUTATIONAL.                      BINSIZES
015200      05  BS-K-U02  PIC 9(2) COMPUTATIONAL.
015300      05  BS-K-S03  PIC S9(3) COMPUTATIONAL.                      BINSIZES
015400      05  BS-K-U03  PIC 9(3) COMPUTATIONAL.
015500      05  BS-K-S04  PIC S9(4) COMPUTATIONAL.                      BINSIZES
015600      05  BS-K-U04  PIC 9(4) COMPUTATIONAL.
015700      05  BS-K-S05  PIC S9(5) COMPUTATIONAL.                      BINSIZES
015800      05  BS-K-U05  PIC 9(5) COMPUTATIONAL.
015900      05  BS-K-S06  PIC S9(6) COMPUTATIONAL.                      BINSIZES
016000      05  BS-K-U06  PIC 9(6) COMPUTATIONAL.
016100      05  BS-K-S07  PIC S9(7) COMPUTATIONAL.                      BINSIZES
016200      05  BS-K-U07  PIC 9(7) COMPUTATIONAL.
016300      05  BS-K-S08  PIC S9(8) COMPUTATIONAL.                      BINSIZES
016400      05  BS-K-U08  PIC 9(8) COMPUTATIONAL.
016500      05  BS-K-S09  PIC S9(9) COMPUTATIONAL.                      BINSIZES
016600      05  BS-K-U09  PIC 9(9) COMPUTATIONAL.
016700      05  BS-K-S10  PIC S9(10) COMPUTATIONAL.                     BINSIZES
016800      05  BS-K-U10  PIC 9(10) COMPUTATIONAL.
016900      05  BS-K-S11  PIC S9(11) COMPUTATIONAL.                     BINSIZES
017000      05  BS-K-U11  PIC 9(11) COMPUTATIONAL.
017100      05  BS-K-S12  PIC S9(12) COMPUTATIONAL.                     BINSIZES
017200      05  BS-K-U12  PIC 9(12) COMPUTATIONAL.
017300      05  BS-K-S13  PIC S9(13) COMPUTATIONAL.                     BINSIZES
017400      05  BS-K-U13  PIC 9(13) COMPUTATIONAL.
017500      05  BS-K-S14  PIC S9(14) COMPUTATIONAL.                     BINSIZES
017600      05  BS-K-U14  PIC 9(14) COMPUTATIONAL.
017700      05  BS-K-S15  PIC S9(15) COMPUTATIONAL.                     BINSIZES
017800      05  BS-K-U15  PIC 9(15) COMPUTATIONAL.
017900      05  BS-K-S16  PIC S9(16) COMPUTATIONAL.                     BINSIZES
018000      05  BS-K-U16  PIC 9(16) COMPUTATIONAL.
018100      05  BS-K-S17  PIC S9(17) COMPUTATIONAL.                     BINSIZES
018200      05  BS-K-U17  PIC 9(17) COMPUTATIONAL.
018300      05  BS-K-S18  PIC S9(18) COMPUTATIONAL.                     BINSIZES
018400      05  BS-K-U18  PIC 9(18) COMPUTATIONAL.
018500  01  BIN-SCALED.
018600      05  BSC-V01  PIC S9(1)V9 COMP.
018700      05  BSC-P01  PIC 9(1)PP COMP-5.
018800      05  BSC-L01  PIC SVP9(1) BINARY.
018900      05  BSC-V04  PIC S9(4)V9 COMP.
019000      05  BSC-P04  PIC 9(4)PP COMP-5.
019100      05  BSC-L04  PIC SVP9(4) BINARY.
019200      05  BSC-V07  PIC S9(7)V9 COMP.
019300      05  BSC-P07  PIC 9(7)PP COMP-5.
019400      05  BSC-L07  PIC SVP9(7) BINARY.
019500      05  BSC-V10  PIC S9(10)V9 COMP.
019600      05  BSC-P10  PIC 9(10)PP COMP-5.
019700      05  BSC-L10  PIC SVP9(10) BINARY.
019800      05  BSC-V13  PIC S9(13)V9 COMP.
019900      05  BSC-P13  PIC 9(13)PP COMP-5.
020000      05  BSC-L13  PIC SVP9(13) BINARY.
020100      05  BSC-V16  PIC S9(16)V9 COMP.
020200      05  BSC-P16  PIC 9(16)PP COMP-5.
020300      05  BSC-L16  PIC SVP9(16) BINARY.
