# SPDX-License-Identifier: GPL-3.0-or-later
"""CPU time and memory of processes, and of the whole machine, from /proc."""

import os

TICK = os.sysconf('SC_CLK_TCK')
CORES = os.cpu_count() or 1


def cpu_seconds(pid):
    """User plus system time of every thread of the process so far, or None once it is gone."""
    try:
        with open(f'/proc/{pid}/stat', 'rb') as stat:
            fields = stat.read().rsplit(b')', 1)[1].split()
    except OSError:
        return None
    # Fields 14 and 15 of the file; the first two (pid, name) are cut off above.
    return (int(fields[11]) + int(fields[12])) / TICK


def peak_rss_kb(pid):
    try:
        with open(f'/proc/{pid}/status') as status:
            for line in status:
                if line.startswith('VmHWM:'):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def machine_busy_seconds():
    """CPU time the whole machine has spent on anything but idling, summed over its cores."""
    with open('/proc/stat') as stat:
        values = [int(v) for v in stat.readline().split()[1:]]
    # user nice system idle iowait irq softirq steal (guest time is already in user)
    return (sum(values[:8]) - values[3] - values[4]) / TICK


def own_seconds():
    times = os.times()
    return times.user + times.system


def load_average():
    with open('/proc/loadavg') as loadavg:
        return ' '.join(loadavg.read().split()[:3])
