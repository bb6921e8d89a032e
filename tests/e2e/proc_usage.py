"""What a process holds, read from /proc: open descriptors, threads and resident memory."""

import os


def open_descriptors(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def threads(pid):
    return len(os.listdir(f"/proc/{pid}/task"))


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError(f"no VmRSS for {pid}")


def usage(pid):
    return {"fds": open_descriptors(pid), "threads": threads(pid), "rss_kib": resident_kib(pid)}
