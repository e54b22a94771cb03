# Runs inside Scribus: opens each document named in $SCRIBUS_JOBS (one
# "source<TAB>target" pair a line) and saves it under the target name, in
# the format of this Scribus version (compressed when the name ends in .gz).
import os
import traceback

import scribus

log = open(os.environ["SCRIBUS_LOG"], "a", encoding="utf-8")
with open(os.environ["SCRIBUS_JOBS"], encoding="utf-8") as jobs:
    for line in jobs:
        line = line.rstrip("\n")
        if not line:
            continue
        source, target = line.split("\t")
        try:
            scribus.openDoc(source)
            scribus.saveDocAs(target)
            scribus.closeDoc()
            log.write("saved %s\n" % target)
        except Exception:
            log.write("FAILED %s\n%s\n" % (source, traceback.format_exc()))
            while scribus.haveDoc():
                scribus.closeDoc()
log.close()
