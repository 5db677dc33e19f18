-- Tables of the race database that the mid station reads and writes.
-- The wider timing system owns them; this is the shape the station relies on.
-- Text columns are Shift-JIS, so bytes the station sends after "set names sjis"
-- are stored and returned unchanged.

CREATE TABLE EXECINFO (
  num   INT NOT NULL,
  tcode VARCHAR(20) NOT NULL DEFAULT '',
  upd   INT NOT NULL DEFAULT 0
) CHARACTER SET sjis;

CREATE TABLE tiki (
  TCODE   VARCHAR(20) NOT NULL,
  TIKIMEI VARCHAR(100) NOT NULL DEFAULT '',
  PRIMARY KEY (TCODE)
) CHARACTER SET sjis;

CREATE TABLE env (
  tcode   VARCHAR(20) NOT NULL,
  class   VARCHAR(10) NOT NULL,
  `rank`  VARCHAR(2)  NOT NULL DEFAULT '1',
  `1lapn` INT NOT NULL DEFAULT 1,
  classname VARCHAR(40) NOT NULL DEFAULT ''
) CHARACTER SET sjis;

CREATE TABLE result (
  tcode       VARCHAR(20) NOT NULL,
  zek         VARCHAR(10) NOT NULL,
  name        VARCHAR(40) NULL,
  status      VARCHAR(2)  NULL,
  STARTEDTIME VARCHAR(12) NULL,
  class1      VARCHAR(10) NULL,
  NATION      VARCHAR(3)  NULL,
  MIDTIME1 VARCHAR(13) NULL, MIDTIME2 VARCHAR(13) NULL, MIDTIME3 VARCHAR(13) NULL,
  MIDTIME4 VARCHAR(13) NULL, MIDTIME5 VARCHAR(13) NULL,
  MIDDIFF1 VARCHAR(13) NULL, MIDDIFF2 VARCHAR(13) NULL, MIDDIFF3 VARCHAR(13) NULL,
  MIDDIFF4 VARCHAR(13) NULL, MIDDIFF5 VARCHAR(13) NULL,
  MIDJUN1 INT NULL, MIDJUN2 INT NULL, MIDJUN3 INT NULL, MIDJUN4 INT NULL, MIDJUN5 INT NULL,
  finishtime  VARCHAR(13) NULL,
  runtime     VARCHAR(13) NULL,
  KEY result_event_bib (tcode, zek)
) CHARACTER SET sjis;

CREATE TABLE tag_rec (
  tcode   VARCHAR(20) NOT NULL,
  zek     VARCHAR(10) NOT NULL,
  term    VARCHAR(4)  NOT NULL,
  time    VARCHAR(12) NOT NULL,
  count   INT NOT NULL DEFAULT 1,
  use_mid INT NOT NULL DEFAULT 0,
  KEY tag_rec_intake (tcode, use_mid, term, time)
) CHARACTER SET sjis;

-- ZEK is wider than the four digits the display shows, so a longer bib read from tag_rec
-- still gets its display row instead of failing after its mid time was written.
CREATE TABLE CHAKU (
  NUM   INT NOT NULL,
  ZEK   VARCHAR(10) NULL,
  LAPS  INT NULL,
  TIME1 VARCHAR(12) NULL,
  TIME0 VARCHAR(14) NULL,
  KEY chaku_num (NUM)
) CHARACTER SET sjis;

CREATE TABLE midtp (
  zek   VARCHAR(4) NOT NULL,
  tpno1 VARCHAR(7) NOT NULL DEFAULT '0',
  tpno2 VARCHAR(7) NOT NULL DEFAULT '0',
  hit   INT NOT NULL DEFAULT 0,
  leng  INT NOT NULL DEFAULT 0
) CHARACTER SET sjis;

CREATE TABLE midtp2 (
  zek   VARCHAR(3)  NULL,
  time  VARCHAR(12) NOT NULL,
  fl    VARCHAR(1)  NOT NULL,
  tpno1 DECIMAL(10,0) NOT NULL DEFAULT 0
) CHARACTER SET sjis;
