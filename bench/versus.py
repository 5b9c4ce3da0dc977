#!/usr/bin/env python3
"""Side by side: `kamomail read` against `notmuch new` and `mu index` on the same mail.

Writes N generated Japanese mails as a PostPet folder (ppwriter), reads them once and exports them
as a Maildir (so both sides index exactly the same mails), then times, in rounds that alternate the
order of the three, each program into a fresh database: wall time, processor time (user + system)
and peak memory of the process. Prints medians, spread and KamoMail's ratios.

usage: versus.py BIN_DIR [--mails N] [--rounds R] [--keep DIR]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run_timed(argv, env=None, cwd=None):
    """Runs argv; returns (wall seconds, cpu seconds, peak resident KiB)."""
    start = time.monotonic()
    proc = subprocess.Popen(argv, env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit(f"versus: {' '.join(argv)} failed ({code}):\n{err}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


class Kamo:
    name = "kamomail read"

    def __init__(self, bins, work, postpet):
        self.bin = os.path.join(bins, "kamomail")
        self.work = work
        self.postpet = postpet

    def environment(self, tag):
        config = os.path.join(self.work, f"kamo-{tag}", "config")
        data = os.path.join(self.work, f"kamo-{tag}", "data")
        shutil.rmtree(os.path.dirname(config), ignore_errors=True)
        os.makedirs(config)
        os.makedirs(data)
        # Every mailbox ticked, as a user reading a whole PostPet folder would.
        with open(os.path.join(config, "KAMOMAIL.ini"), "w", encoding="utf-8") as ini:
            ini.write(
                "[PostPet Mail Option]\nPostPet Dir=%s\nMy Mail Addr=kamo@example.jp\n"
                "[Mail Options]\nSend Mail Read Option=1,1,1,1,0,0,0,0,0,0,0,0,0,0,0,0\n"
                "Reciev Mail Read Option=1,1,1,1,1,1,1,1,1,1,0,0,0,0,0,0\n" % self.postpet
            )
        env = dict(os.environ, KAMOMAIL_CONFIG_DIR=config, KAMOMAIL_DATA_DIR=data)
        env.pop("DISPLAY", None)
        return env

    def run(self):
        env = self.environment("round")
        return run_timed([self.bin, "read"], env=env)

    def export_maildir(self, target):
        env = self.environment("export")
        run_timed([self.bin, "read"], env=env)
        run_timed([self.bin, "export", "--format", "maildir", target], env=env)


class Notmuch:
    name = "notmuch new"

    def __init__(self, work, maildir):
        self.maildir = maildir
        self.config = os.path.join(work, "notmuch-config")
        with open(self.config, "w") as f:
            f.write(
                f"[database]\npath={maildir}\n[user]\nname=Kamo\nprimary_email=kamo@example.jp\n"
                "[new]\ntags=unread;inbox\n[maildir]\nsynchronize_flags=true\n"
            )

    def run(self):
        shutil.rmtree(os.path.join(self.maildir, ".notmuch"), ignore_errors=True)
        return run_timed(["notmuch", "new", "--quiet"], env=dict(os.environ, NOTMUCH_CONFIG=self.config))


class Mu:
    name = "mu index"

    def __init__(self, work, maildir):
        self.maildir = maildir
        self.home = os.path.join(work, "mu-home")

    def run(self):
        shutil.rmtree(self.home, ignore_errors=True)
        subprocess.run(["mu", "init", f"--muhome={self.home}", f"--maildir={self.maildir}", "--quiet"],
                       check=True, stdout=subprocess.DEVNULL)
        return run_timed(["mu", "index", f"--muhome={self.home}", "--quiet"])


def count_mails(maildir):
    total = 0
    for root, _, files in os.walk(maildir):
        if os.path.basename(root) in ("cur", "new"):
            total += len(files)
    return total


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bins")
    parser.add_argument("--mails", type=int, default=20000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--keep", help="work folder to use and keep (default: a temporary one)")
    args = parser.parse_args()

    missing = [p for p in ("notmuch", "mu") if shutil.which(p) is None]
    if missing:
        sys.exit("versus: not installed: " + ", ".join(missing) + " (./do setup installs them)")

    work = args.keep or tempfile.mkdtemp(prefix="kamomail-versus-")
    os.makedirs(work, exist_ok=True)
    try:
        postpet = os.path.join(work, "PostPet")
        maildir = os.path.join(work, "Maildir")
        shutil.rmtree(postpet, ignore_errors=True)
        shutil.rmtree(maildir, ignore_errors=True)
        subprocess.run([os.path.join(args.bins, "ppwriter"), "sample-folder", postpet, "--mails", str(args.mails)],
                       check=True, stdout=subprocess.DEVNULL)
        kamo = Kamo(args.bins, work, postpet)
        kamo.export_maildir(maildir)
        mails = count_mails(maildir)
        postpet_bytes = sum(os.path.getsize(os.path.join(r, f)) for r, _, fs in os.walk(postpet) for f in fs)
        print(f"versus: {mails} mails ({postpet_bytes / 1e6:.1f} MB of PostPet files), {args.rounds} rounds, "
              f"{os.cpu_count()} processors")

        sides = [kamo, Notmuch(work, maildir), Mu(work, maildir)]
        results = {s.name: [] for s in sides}
        for r in range(args.rounds):
            order = sides[r % len(sides):] + sides[:r % len(sides)]
            for side in order:
                results[side.name].append(side.run())

        def median(name, i):
            return statistics.median(x[i] for x in results[name])

        print(f"{'':16}{'wall s (min-max)':>24}{'cpu s':>10}{'peak MB':>10}")
        for s in sides:
            walls = [x[0] for x in results[s.name]]
            print(f"{s.name:16}{median(s.name, 0):>10.2f} ({min(walls):.2f}-{max(walls):.2f})"
                  f"{median(s.name, 1):>10.2f}{median(s.name, 2) / 1024:>10.1f}")
        k = median(kamo.name, 0)
        for other, goal in (("notmuch new", 10), ("mu index", 6)):
            ratio = median(other, 0) / k
            print(f"kamomail read is {ratio:.1f}x faster than {other} in wall time (goal {goal}x)")
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
