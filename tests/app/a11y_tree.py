"""Walks the window's accessibility tree over the AT-SPI bus.

Every object a keyboard user can reach must say what it is (a role) and
which one it is (a non-empty name); the player's buttons say their state.
Exits 1 and lists the objects that do not.
"""
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
    application = find_application(sys.argv[1])
    focusable, problems, names = 0, [], set()
    for node in walk(application):
        if not node.getState().contains(pyatspi.STATE_FOCUSABLE):
            continue
        focusable += 1
        names.add(node.name)
        if node.getRole() in (pyatspi.ROLE_UNKNOWN, pyatspi.ROLE_INVALID) or not node.name.strip():
            problems.append(f"{node.getRoleName()} {node.name!r}")
    missing = {"点击解析", "音乐试听地址", "音频地址", "播放", "停止", "静音", "保存音频", "播放进度", "音量"} - names
    print(f"focusable objects: {focusable}; without a role or a name: {len(problems)}; "
          f"expected names missing: {sorted(missing)}")
    for problem in problems:
        print("  ", problem)
    return 1 if problems or missing else 0


if __name__ == "__main__":
    sys.exit(main())
