#!/usr/bin/env python3
"""A file system that never answers the lookup of one name, as a dead
network mount does not: whoever looks the name up waits in the kernel,
deaf even to SIGKILL, until this server goes away.

    stuck_lookup_fs.py MOUNTPOINT NAME

Prints "mounted" once the mount is up (or "cannot mount: REASON" and exits
1), then "stuck" when the lookup has come. Dies with its parent; the
caller unmounts (MNT_DETACH) after killing it."""

import ctypes
import errno
import os
import struct
import sys

LOOKUP, FORGET, GETATTR, INIT, INTERRUPT, BATCH_FORGET = 1, 2, 3, 26, 36, 42
UNANSWERED = {FORGET, INTERRUPT, BATCH_FORGET}  # the protocol has no reply for them
PR_SET_PDEATHSIG = 1


def reply(fd, unique, error, body=b""):
    os.write(fd, struct.pack("<IiQ", 16 + len(body), error, unique) + body)


def root_attributes():
    # fuse_attr_out: valid for a day, then the root directory, mode 755.
    attr = struct.pack("<QQQQQQIIIIIIIIII", 1, 0, 0, 0, 0, 0, 0, 0, 0,
                       0o40755, 2, 0, 0, 0, 4096, 0)
    return struct.pack("<QII", 86400, 0, 0) + attr


def main():
    mountpoint, name = sys.argv[1], sys.argv[2].encode()
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_PDEATHSIG, 9)
    try:
        fd = os.open("/dev/fuse", os.O_RDWR)
    except OSError as e:
        print("cannot mount: /dev/fuse:", e.strerror, flush=True)
        return 1
    options = "fd=%d,rootmode=40755,user_id=%d,group_id=%d" % (fd, os.getuid(), os.getgid())
    if libc.mount(b"stuck", mountpoint.encode(), b"fuse.stuck", 0, options.encode()) != 0:
        print("cannot mount:", os.strerror(ctypes.get_errno()), flush=True)
        return 1
    print("mounted", flush=True)
    while True:
        try:
            request = os.read(fd, 1 << 17)
        except OSError:
            return 0  # unmounted
        length, opcode, unique, node = struct.unpack_from("<IIQQ", request)
        body = request[40:length]
        if opcode == INIT:
            _, _, readahead, _ = struct.unpack_from("<IIII", body)
            # fuse_init_out of protocol 7.31, no features asked for.
            out = struct.pack("<IIIIHHIIHHI", 7, 31, readahead, 0, 16, 12, 4096, 1, 0, 0, 0)
            reply(fd, unique, 0, out + bytes(28))
        elif opcode == LOOKUP and body.rstrip(b"\0") == name:
            print("stuck", flush=True)
        elif opcode == GETATTR and node == 1:
            reply(fd, unique, 0, root_attributes())
        elif opcode not in UNANSWERED:
            reply(fd, unique, -(errno.ENOENT if opcode == LOOKUP else errno.ENOSYS))


sys.exit(main())
