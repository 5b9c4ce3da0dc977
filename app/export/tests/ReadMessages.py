"""Reads the messages of an mbox file, a Maildir or a folder of .eml files with Python's mailbox and
email modules (independent readers) and prints, as JSON, each message's name (a Maildir's key, an
.eml's file name, empty in an mbox), Message-ID and plain text."""
import email
import email.policy
import json
import mailbox
import os
import sys

kind, path = sys.argv[1], sys.argv[2]


def read(data):
    msg = email.message_from_bytes(data, policy=email.policy.default)
    body = msg.get_body(("plain",))
    return {"id": str(msg["Message-ID"]), "text": body.get_content() if body is not None else ""}


out = []
if kind == "mbox":
    box = mailbox.mbox(path, create=False)
    for key in box.keys():
        out.append(dict(read(box.get_bytes(key)), name=""))
elif kind == "maildir":
    box = mailbox.Maildir(path, factory=None, create=False)
    for key in box.keys():
        out.append(dict(read(box.get_bytes(key)), name=key))
else:
    for name in sorted(os.listdir(path)):
        with open(os.path.join(path, name), "rb") as f:
            out.append(dict(read(f.read()), name=name))
json.dump(out, sys.stdout, ensure_ascii=False)
