/* Tables of notes.fdb. Rows of tags and attachment are inserted without a
   column list, so the column order of each table is part of the file format;
   columns are only ever added at the end. Texts are UTF-8. */

CREATE TABLE tags (
    tagid      INTEGER NOT NULL PRIMARY KEY,
    tagname    VARCHAR(500),
    deep       INTEGER,
    path       VARCHAR(4000),
    parentid   INTEGER,
    childcount INTEGER,
    icoid      INTEGER
);

CREATE TABLE note (
    noteid     INTEGER NOT NULL PRIMARY KEY,
    title      VARCHAR(2000),
    tagid      INTEGER,
    createdate TIMESTAMP,
    filename   VARCHAR(1000),
    source     VARCHAR(4000)
);

CREATE TABLE attachment (
    attid      INTEGER NOT NULL PRIMARY KEY,
    noteid     INTEGER,
    attname    VARCHAR(1000),
    path       VARCHAR(1000)
);

/* Notes moved to the trash: the note row as it was, the catalog path it was
   filed under and when it was trashed; and their attachment rows. */
CREATE TABLE trashednote (
    noteid      INTEGER NOT NULL PRIMARY KEY,
    title       VARCHAR(2000),
    tagid       INTEGER,
    createdate  TIMESTAMP,
    filename    VARCHAR(1000),
    source      VARCHAR(4000),
    catalogpath VARCHAR(4000),
    trashdate   TIMESTAMP
);

CREATE TABLE trashedattachment (
    attid      INTEGER NOT NULL PRIMARY KEY,
    noteid     INTEGER,
    attname    VARCHAR(1000),
    path       VARCHAR(1000)
);

/* Sync: each synced note, node and attachment by its global id, with its local
   id, the revision it last synced as, a fingerprint of its local state then and
   a remote revision waiting while the note is open; the journal entries read of
   each computer; the sync's own settings. */
CREATE TABLE syncobject (
    gid         VARCHAR(64) NOT NULL PRIMARY KEY,
    kind        SMALLINT,
    localid     INTEGER,
    head        VARCHAR(64),
    fingerprint VARCHAR(64),
    waiting     VARCHAR(64)
);

CREATE TABLE syncseen (
    computer VARCHAR(64) NOT NULL PRIMARY KEY,
    seq      INTEGER
);

CREATE TABLE syncsetting (
    name VARCHAR(64) NOT NULL PRIMARY KEY,
    val  VARCHAR(1000)
);

/* Notes imported from Evernote exports: the export's file name and a key of
   the note within it, so that importing the same file again can skip them. */
CREATE TABLE importednote (
    enexfile   VARCHAR(1000),
    notekey    VARCHAR(64),
    noteid     INTEGER
);

CREATE INDEX tags_deep ON tags (deep);
CREATE INDEX tags_parentid ON tags (parentid);
CREATE INDEX note_tagid ON note (tagid);
CREATE INDEX attachment_noteid ON attachment (noteid);
/* New ids are the maximum plus one; the engine reads a maximum from these. */
CREATE DESCENDING INDEX tags_tagid_desc ON tags (tagid);
CREATE DESCENDING INDEX note_noteid_desc ON note (noteid);
CREATE DESCENDING INDEX attachment_attid_desc ON attachment (attid);

COMMIT;
