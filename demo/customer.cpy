      *================================================================*
      * CUSTOMER-RECORD: the customer file of the demonstration data,  *
      * 100 bytes a record, as `talvo gen --layout customer` makes it. *
      * The key of the file is CUST-NO.                                *
      *================================================================*
       01  CUSTOMER-RECORD.
           05  CUST-NO                     PIC 9(8).
           05  CUST-NAME                   PIC X(24).
           05  CUST-ADDRESS.
               10  CUST-STREET             PIC X(24).
               10  CUST-POSTCODE           PIC X(5).
               10  CUST-CITY               PIC X(18).
      *    The date the customer came to us, YYYYMMDD.
           05  CUST-SINCE.
               10  CUST-SINCE-YEAR         PIC 9(4).
               10  CUST-SINCE-MONTH        PIC 9(2).
               10  CUST-SINCE-DAY          PIC 9(2).
           05  CUST-BALANCE                PIC -(8)9.99.
           05  CUST-STATUS                 PIC X.
               88  CUST-ACTIVE             VALUE 'A'.
               88  CUST-INACTIVE           VALUE 'I'.
               88  CUST-BLOCKED            VALUE 'B'.
