#!/usr/bin/python3
"""Reads an IMAP account the way another mail client would, for the IMAP tests: Python's imaplib
over TLS, trusting only the test's CA. The password comes in the environment (KAMO_IMAP_PASSWORD).

    imap_probe.py PORT CAFILE USER list              one line per folder, its name as the server wrote it
    imap_probe.py PORT CAFILE USER fetch FOLDER      one line per message: Message-ID, the internal date
                                                     as seconds since 1970, then its flags
"""
import datetime
import email
import imaplib
import os
import ssl
import sys


def main():
    port, cafile, user, command = sys.argv[1:5]
    context = ssl.create_default_context(cafile=cafile)
    imap = imaplib.IMAP4_SSL("127.0.0.1", int(port), ssl_context=context)
    imap.login(user, os.environ["KAMO_IMAP_PASSWORD"])
    if command == "list":
        status, lines = imap.list()
        assert status == "OK", lines
        for line in lines:
            # (\HasNoChildren) "." NAME, the name quoted or not
            name = line.decode("ascii").split(" ", 2)[2]
            if name.startswith('"'):
                name = name[1:-1].replace('\\"', '"').replace("\\\\", "\\")
            print(name)
    elif command == "fetch":
        folder = sys.argv[5]
        status, data = imap.select('"' + folder.replace("\\", "\\\\").replace('"', '\\"') + '"', readonly=True)
        assert status == "OK", data
        if int(data[0]) > 0:
            status, items = imap.fetch("1:*", "(INTERNALDATE FLAGS BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)])")
            assert status == "OK", items
            for item in items:
                if not isinstance(item, tuple):
                    continue
                head = item[0].decode("ascii")
                date_text = head.split('INTERNALDATE "', 1)[1].split('"', 1)[0]
                moment = datetime.datetime.strptime(date_text, "%d-%b-%Y %H:%M:%S %z")
                flags = head.split("FLAGS (", 1)[1].split(")", 1)[0]
                message_id = email.message_from_bytes(item[1]).get("Message-ID", "").strip()
                print("%s\t%d\t%s" % (message_id, int(moment.timestamp()), flags))
    imap.logout()


if __name__ == "__main__":
    main()
