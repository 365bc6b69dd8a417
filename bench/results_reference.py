#!/usr/bin/env python3
"""The floor for bench_results: the same work on the same files through Python's sqlite3.

  save PATH SAMPLES   per run: open, one transaction with a parameter row and SAMPLES curve
                      rows (rollback journal, full sync, as the program writes), close
  read PATH           per run: open, read every row of the search 化成电压 > 0, close

A run starts on each line read from standard input, so that the benchmark can take its own
run and this one in turns under the same load; each prints its time in milliseconds.
"""
import math
import sqlite3
import sys
import time

TABLE = '"铝箔TV参数"'
CURVE = '"曲线数据"'


def columns(con):
    return [row[1] for row in con.execute("PRAGMA table_info(%s)" % TABLE)]


def runs():
    for line in sys.stdin:
        yield line


def save(path, samples):
    con = sqlite3.connect(path)
    names = columns(con)
    con.close()
    marks = ",".join("?" * len(names))
    insert_row = "INSERT INTO %s (%s) VALUES (%s)" % (
        TABLE, ",".join('"%s"' % n for n in names), marks)
    insert_curve = "INSERT INTO %s VALUES (?,0,?,?,?)" % CURVE
    curve = [(round(min(220.0, n * 0.1), 1), round(2 + math.cos(n * 0.11), 3))
             for n in range(1, samples + 1)]
    for r, _ in enumerate(runs()):
        number = "P%dHL" % (r + 1)
        row = [None] * len(names)
        row[0], row[1], row[3], row[5] = number, 200.0, 60.0, 5940.0
        row[-2], row[-1] = "bench", "2012/06/01"
        start = time.perf_counter()
        con = sqlite3.connect(path, isolation_level=None)
        con.execute("PRAGMA journal_mode=DELETE")
        con.execute("PRAGMA synchronous=FULL")
        con.execute("BEGIN IMMEDIATE")
        con.execute(insert_row, row)
        con.executemany(insert_curve,
                        [(number, n, v, i) for n, (v, i) in enumerate(curve, 1)])
        con.execute("COMMIT")
        con.close()
        print("%.6f" % ((time.perf_counter() - start) * 1000.0), flush=True)


def read(path):
    con = sqlite3.connect(path)
    names = ",".join('"%s"' % n for n in columns(con))
    con.close()
    sql = 'SELECT %s FROM %s WHERE "化成电压" > ? ORDER BY "测试日期", rowid' % (names, TABLE)
    for _ in runs():
        start = time.perf_counter()
        con = sqlite3.connect(path)
        rows = con.execute(sql, (0.0,)).fetchall()
        con.close()
        print("%.6f" % ((time.perf_counter() - start) * 1000.0), flush=True)
        if not rows:
            sys.exit("no rows")


if __name__ == "__main__":
    if sys.argv[1] == "save":
        save(sys.argv[2], int(sys.argv[3]))
    else:
        read(sys.argv[2])
