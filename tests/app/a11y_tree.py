"""Walks a window's accessibility tree over the AT-SPI bus.

Every object a keyboard user can reach must say what it is (a role) and
which one it is (a non-empty name); the player's buttons say their state.
The status line describes itself with what it shows, the time label says
the time in words, and the position bar counts seconds.
Exits 1 and lists what is wrong.
   a11y_tree.py APPLICATION STATUS LENGTH_SECONDS
"""
import re
import sys
import time

import pyatspi


def find_application(name, seconds=30):
    # The window registers once it is shown; wait for it, bounded.
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        for application in pyatspi.Registry.getDesktop(0):
            if application is not None and application.name == name:
                return application
        time.sleep(0.2)
    sys.exit(f"no application {name!r} on the accessibility bus")


def walk(node):
    yield node
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            yield from walk(child)


def main():
    application, status, length = sys.argv[1], sys.argv[2], int(sys.argv[3])
    focusable, problems, names = 0, [], {}
    for node in walk(find_application(application)):
        names.setdefault(node.name, node)
        if not node.getState().contains(pyatspi.STATE_FOCUSABLE):
            continue
        focusable += 1
        if node.getRole() in (pyatspi.ROLE_UNKNOWN, pyatspi.ROLE_INVALID) or not node.name.strip():
            problems.append(f"{node.getRoleName()} {node.name!r}")
    missing = {"点击解析", "音乐试听地址", "音频地址", "停止", "静音", "保存音频", "播放进度",
               "音量", "播放状态"} - names.keys()
    if not {"播放", "暂停"} & names.keys():
        missing.add("播放 or 暂停")
    problems += [f"no object named {name!r}" for name in sorted(missing)]
    if "播放状态" in names and names["播放状态"].description != status:
        problems.append(f"status line describes itself as {names['播放状态'].description!r}, "
                        f"shows {status!r}")
    if not any(re.fullmatch(rf"已播放 \d+:\d\d，共 {length // 60}:{length % 60:02}", name)
               for name in names):
        problems.append(f"no time label of a {length} s track")
    if "播放进度" in names:
        bar = names["播放进度"].queryValue()
        if bar.maximumValue != length:
            problems.append(f"position bar up to {bar.maximumValue}, not {length} (seconds)")
    print(f"focusable objects: {focusable}; problems: {len(problems)}")
    for problem in problems:
        print("  ", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
