#!/usr/bin/python3
# The personnel window's load as a screen reader's user meets it, measured
# from outside the program through the accessibility bus in a bare X server:
# the real `miravel` on an office with one emulated terminal of N users and a
# store of N persons (two templates each), "Ayarlar" then "Personel İşlemleri"
# pressed through the Action interface, and the time from that press until the
# personnel window is on the bus and until both of its lists show N rows with
# the load's progress gone (the Table interface's row counts, polled every
# 20 ms, while listening to the events a screen reader listens to: Qt's
# bridge sends only those someone listens to). Qt answers a press at once and
# clicks the button 100 ms later, as a click that is seen going down and up:
# that 0.1 s is in every figure. For each N the median of `--runs` runs, a
# fresh program each run;
# then the part that grows with the lists against the part that does not, and
# the window's own benchmark under the same X server with Qt's bridge to the
# bus on and off, for comparison.
#
#   /usr/bin/python3 bench/ui/personnel_load_from_outside.py [BUILD] [--sizes 1500,3000]
#       [--runs 3] [--no-inside] [--events KINDS|none] [--keep-logs]
#       [--wrap 'strace -f -ttt -o {log}']
#
# BUILD is a build folder (default build-bench/ of this checkout, best a Release one);
# its programs are installed into a temporary folder first, so that a rebuild
# meanwhile does not disturb the figures. --wrap starts the program under a
# tool ({log} is a file per run, kept with --keep-logs, as are the bus's record
# of each run (dbus-monitor) and the polls' answers). Everything runs on
# 127.0.0.1; every process started here is stopped by its id at the end, and
# the temporary folder is removed.
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

STARTED = []  # Popen of every process started here, in the order started


def log(text):
    print(text, file=sys.stderr, flush=True)


def start(args, **kwargs):
    process = subprocess.Popen(args, **kwargs)
    STARTED.append(process)
    return process


def descendants(pid):
    """The ids of the processes below pid (a bus activates helpers of its own)."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            children.setdefault(int(fields[1]), []).append(int(entry))
        except (OSError, IndexError, ValueError):
            continue
    found = []
    pending = [pid]
    while pending:
        for child in children.get(pending.pop(), []):
            found.append(child)
            pending.append(child)
    return found


def stop_pid(pid, timeout=3.0):
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return
        time.sleep(0.05)
    try:
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def stop(process, timeout=3.0):
    if process.poll() is not None:
        return
    # Helpers the process started (a bus's activated services, a wrapped
    # program) go first, deepest last found first.
    below = descendants(process.pid)
    process.terminate()
    try:
        process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
    for pid in reversed(below):
        stop_pid(pid)


def stop_all():
    while STARTED:
        stop(STARTED.pop())


def build_busy(build):
    """Whether ninja runs in the build folder."""
    if os.path.exists(os.path.join(build, ".ninja_lock")):
        return True
    real = os.path.realpath(build)
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                argv = [a.decode(errors="replace") for a in cmdline.read().split(b"\0") if a]
            if not argv or os.path.basename(argv[0]) != "ninja":
                continue
            cwd = os.path.realpath(f"/proc/{entry}/cwd")
            if cwd == real or any(os.path.realpath(a) == real for a in argv[1:]):
                return True
        except OSError:
            continue
    return False


def wait_for_build(build):
    needed = [os.path.join(build, "app/miravel"),
              os.path.join(build, "emulator/miravel-terminal-emulator")]
    said = False
    while not all(os.path.exists(p) for p in needed) or build_busy(build):
        if not said:
            log(f"waiting for the build in {build} to end")
            said = True
        time.sleep(5)


def wait_line(path, process, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path, errors="replace") as out:
                line = out.readline()
            if line.endswith("\n"):
                return line.strip()
        if process.poll() is not None:
            break
        time.sleep(0.05)
    raise RuntimeError(f"no first line in {path}")


def start_emulator(programs, state, out, *extra):
    process = start([os.path.join(programs, "miravel-terminal-emulator"), "--listen",
                     "127.0.0.1:0", "--state", state, *extra],
                    stdout=open(out, "w"), stderr=subprocess.STDOUT)
    line = wait_line(out, process)
    if not line.startswith("listening on 127.0.0.1:"):
        raise RuntimeError(f"emulator: {line}")
    return process, int(line.rsplit(":", 1)[1])


def write_devices(office, port):
    # Windows-1254 text with CR LF line ends, as the program keeps it.
    text = ("[ayarlar]\r\ndosya=tr500.txt\r\nsilkontrol=1\r\n"
            "[cihaz1]\r\nadi=Merkez Giriş\r\nbaglantitipi=Ethernet\r\nmakineno=1\r\n"
            "portno=Com1\r\nbaudrate=115200\r\nipadres=127.0.0.1\r\n"
            f"ipport={port}\r\nparola=\r\ngcdurum=Standart\r\n")
    with open(os.path.join(office, "cihazlar.ini"), "wb") as ini:
        ini.write(text.encode("cp1254"))


def lay_out_office(programs, office, persons, env):
    """An office of one terminal with `persons` users and a store of the same
    persons, taken from it as the personnel window's "Al" does."""
    os.makedirs(os.path.join(office, "personel"))
    state = os.path.join(office, "terminal.state")
    emulator, port = start_emulator(programs, state, os.path.join(office, "emulator.out"),
                                    "--generate-users", str(persons), "--generate-templates", "2",
                                    "--seed", "1")
    try:
        write_devices(office, port)
        for command in ("al", "parmakizi-al"):
            subprocess.run([os.path.join(programs, "miravel-personel"), "--folder", office,
                            "--cihaz", "1", command], env=env, check=True,
                           stdout=subprocess.DEVNULL, timeout=600)
        listed = subprocess.run([os.path.join(programs, "miravel-personel"), "--folder", office,
                                 "pc-liste"], env=env, check=True, capture_output=True,
                                text=True).stdout.splitlines()
        with_prints = sum(1 for line in listed if line.rstrip().endswith("\t1"))
        if len(listed) != persons or with_prints != persons:
            raise RuntimeError(f"store of {len(listed)} persons, {with_prints} with templates")
    finally:
        # Stopped with SIGTERM, the emulator writes its state.
        STARTED.remove(emulator)
        stop(emulator)


def start_x_and_buses(scratch):
    read_end, write_end = os.pipe()
    xvfb = start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                  "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,),
                 stdout=subprocess.DEVNULL, stderr=open(os.path.join(scratch, "xvfb.err"), "w"))
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number:
        raise RuntimeError("Xvfb did not start")
    runtime = os.path.join(scratch, "run")
    os.mkdir(runtime, 0o700)
    env = dict(os.environ)
    for name in ("MIRAVEL_KLASORU", "QT_SCALE_FACTOR", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY",
                 "QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "QT_ACCESSIBILITY", "NO_AT_BRIDGE"):
        env.pop(name, None)
    env["DISPLAY"] = ":" + number
    env["XDG_RUNTIME_DIR"] = runtime
    env["HOME"] = scratch  # settings the bus launcher or Qt may write stay here
    bus = start(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=env,
                stdout=subprocess.PIPE, text=True)
    address = bus.stdout.readline().strip()
    if not address:
        raise RuntimeError("dbus-daemon did not start")
    env["DBUS_SESSION_BUS_ADDRESS"] = address
    a11y = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                           "/org/a11y/bus", "org.a11y.Bus.GetAddress"], env=env,
                          capture_output=True, text=True, timeout=30)
    if a11y.returncode != 0 or "unix:" not in a11y.stdout:
        raise RuntimeError("no accessibility bus: " + a11y.stderr)
    env["MIRAVEL_A11Y_BUS"] = a11y.stdout.split('"')[1]  # watched with dbus-monitor
    return env


class Bus:
    """The accessibility bus as a screen reader sees it."""

    def __init__(self, env):
        # libatspi finds the buses through these, read once.
        for name in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "HOME"):
            os.environ[name] = env[name]
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        self.Atspi = Atspi
        Atspi.init()
        # A call waits for a busy program instead of failing after 0.8 s.
        Atspi.set_timeout(120000, 120000)
        from gi.repository import GLib
        self.context = GLib.MainContext.default()
        self.events = {}
        self.listener = None

    def listen(self, kinds):
        """Listens to events as a screen reader does: the program's bridge sends
        only the kinds someone listens to."""
        def heard(event):
            kind = event.type.split(":")[0] + ":" + event.type.split(":")[1]
            self.events[kind] = self.events.get(kind, 0) + 1
        self.listener = self.Atspi.EventListener.new(heard)
        for kind in kinds:
            self.listener.register(kind)

    def dispatch(self):
        while self.context.iteration(False):
            pass

    def fresh(self, accessible):
        try:
            accessible.clear_cache()
        except Exception:
            pass
        return accessible

    def children(self, accessible):
        self.fresh(accessible)
        found = []
        for index in range(accessible.get_child_count()):
            child = accessible.get_child_at_index(index)
            if child is not None:
                found.append(child)
        return found

    def application(self, pid, seconds=30):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for app in self.children(self.Atspi.get_desktop(0)):
                try:
                    if app.get_process_id() == pid:
                        try:
                            app.set_cache_mask(self.Atspi.Cache.NONE)
                        except Exception:
                            pass
                        return app
                except Exception:
                    continue
            time.sleep(0.05)
        raise RuntimeError("the program did not come onto the accessibility bus")

    def find(self, root, role, name=None, depth=12):
        """The first accessible below root with the role (and name); not inside
        tables, whose cells are thousands of calls."""
        if depth < 0:
            return None
        for child in self.children(root):
            try:
                child_role = child.get_role()
                if child_role == role and (name is None or child.get_name() == name):
                    return child
            except Exception:
                continue
            if child_role == self.Atspi.Role.TABLE:
                continue
            below = self.find(child, role, name, depth - 1)
            if below is not None:
                return below
        return None

    def window(self, app, name):
        for child in self.children(app):
            try:
                if child.get_name().strip() == name:
                    return child
            except Exception:
                continue
        return None

    def wait(self, what, probe, seconds=60, every=0.02):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            found = probe()
            if found:
                return found
            time.sleep(every)
        raise RuntimeError("not found on the bus: " + what)

    def has_state(self, accessible, state):
        return accessible.get_state_set().contains(state)

    def press(self, button):
        self.Atspi.Action.do_action(button, 0)


def measure_once(bus, programs, office, persons, env, wrap, logs, run_name):
    Atspi = bus.Atspi
    state = os.path.join(office, "run.state")
    shutil.copyfile(os.path.join(office, "terminal.state"), state)
    emulator, port = start_emulator(programs, state, os.path.join(logs, run_name + ".emulator"))
    write_devices(office, port)
    program_env = dict(env, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                       MIRAVEL_KLASORU=office)
    argv = [os.path.join(programs, "miravel")]
    if wrap:
        argv = wrap.replace("{log}", os.path.join(logs, run_name + ".wrap")).split() + argv
    # The bus's own record, with the times the program's events crossed it:
    # a poll answered late by a busy window cannot tell when the window came.
    monitor = start(["dbus-monitor", "--address", env["MIRAVEL_A11Y_BUS"], "--monitor"],
                    stdout=open(os.path.join(logs, run_name + ".monitor"), "w"),
                    stderr=subprocess.DEVNULL)
    program = start(argv, cwd=office, env=program_env,
                    stdout=open(os.path.join(logs, run_name + ".out"), "w"),
                    stderr=subprocess.STDOUT)
    try:
        # A wrapper's child is the program.
        pid = program.pid
        if wrap:
            pid = bus.wait("the program under the wrapper", lambda: next(
                (p for p in descendants(program.pid)
                 if os.path.basename(os.readlink(f"/proc/{p}/exe")) == "miravel"), None), 30)
        app = bus.application(pid)
        # Top-level windows are the application's children, by their titles.
        main = bus.wait("main window", lambda: next(
            (c for c in bus.children(app) if "Miravel" in c.get_name()), None))
        bus.press(bus.wait("Ayarlar", lambda: bus.find(main, Atspi.Role.PUSH_BUTTON, "Ayarlar")))
        settings = bus.wait("settings window", lambda: next(
            (c for c in bus.children(app) if "Miravel" not in c.get_name()), None))
        button = bus.wait("Personel İşlemleri", lambda: bus.find(
            settings, Atspi.Role.PUSH_BUTTON, "Personel İşlemleri"))
        bus.wait("settings window showing",
                 lambda: bus.has_state(settings, Atspi.StateType.SHOWING))
        time.sleep(1.0)  # the settings window's own start is not measured

        timings = {}
        pressed = time.monotonic()
        pressed_wall = time.time()

        def seen(key):
            # When the answer came: a busy window answers late.
            if key not in timings:
                timings[key] = time.monotonic() - pressed

        bus.dispatch()
        bus.events.clear()
        bus.press(button)
        seen("press returned")
        window = None
        terminal_grid = store_grid = progress = None
        longest_poll = 0.0
        longest_call = 0.0
        trace = []
        while time.monotonic() - pressed < 120:
            poll_start = time.monotonic()
            if window is None:
                window = bus.window(app, "Personel")
                if window is not None:
                    seen("window on bus")
            if window is not None and "window showing" not in timings:
                if bus.has_state(window, Atspi.StateType.SHOWING):
                    seen("window showing")
            if window is not None and terminal_grid is None:
                terminal_grid = bus.find(window, Atspi.Role.TABLE, "Cihazdaki Kayıtlar", 3)
                store_grid = bus.find(window, Atspi.Role.TABLE, "Bilgisayardaki Kayıtlar", 3)
                progress = bus.find(window, Atspi.Role.PROGRESS_BAR, None, 4)
                if terminal_grid is None or store_grid is None or progress is None:
                    terminal_grid = store_grid = progress = None
            if terminal_grid is not None:
                showing = bus.has_state(progress, Atspi.StateType.SHOWING)
                if showing:
                    seen("progress shown")
                counts = []
                for grid in (terminal_grid, store_grid):
                    asked = time.monotonic()
                    counts.append(grid.get_n_rows())
                    # How long the window kept a screen reader waiting for one answer.
                    longest_call = max(longest_call, time.monotonic() - asked)
                rows = tuple(counts)
                trace.append((poll_start - pressed, time.monotonic() - pressed, rows, showing))
                if rows[0] > 0 or rows[1] > 0:
                    seen("first rows")
                if rows[0] == persons:
                    seen("terminal list full")
                if rows[1] == persons:
                    seen("store list full")
                if rows == (persons, persons) and not bus.has_state(
                        progress, Atspi.StateType.SHOWING):
                    seen("lists full")
            bus.dispatch()
            longest_poll = max(longest_poll, time.monotonic() - poll_start)
            if "lists full" in timings:
                break
            time.sleep(0.02)
        else:
            raise RuntimeError(f"{run_name}: not loaded within 120 s ({timings})")
        timings["longest poll"] = longest_poll
        timings["longest row count"] = longest_call
        if bus.listener:
            bus.dispatch()
            timings["events heard"] = sum(bus.events.values())
            log(f"  {run_name} events: " + ", ".join(f"{k} {n}" for k, n in bus.events.items()))
        time.sleep(0.3)  # what the monitor has yet to write
        first_last = summarise_traffic(os.path.join(logs, run_name + ".monitor"), pressed_wall,
                                       timings["lists full"])
        if "signal Activate" in first_last:
            timings["window activated (event)"] = first_last["signal Activate"][0]
        if "signal PropertyChange" in first_last:
            timings["last progress (event)"] = first_last["signal PropertyChange"][1]
        with open(os.path.join(logs, run_name + ".trace"), "w") as out:
            out.write(f"# pressed at {pressed_wall:.6f} (epoch s), {pressed:.6f} (monotonic s); "
                      "from then, s:\n")
            out.write("# asked answered terminal-rows store-rows progress-showing\n")
            for asked, answered, rows, showing in trace:
                out.write(f"{asked:.3f} {answered:.3f} {rows[0]} {rows[1]} {int(showing)}\n")
        return timings
    finally:
        STARTED.remove(program)
        stop(program)
        STARTED.remove(monitor)
        stop(monitor)
        STARTED.remove(emulator)
        stop(emulator)


def summarise_traffic(path, since, until):
    """What crossed the accessibility bus from the press until the lists were
    full, by kind and member, and in 100 ms slices."""
    kinds = {}
    slices = {}
    first_last = {}
    with open(path, errors="replace") as monitor:
        for line in monitor:
            if not line.startswith(("signal ", "method call ", "method return ", "error ")):
                continue
            fields = dict(f.split("=", 1) for f in line.replace(";", "").split() if "=" in f)
            try:
                moment = float(fields.get("time", "0")) - since
            except ValueError:
                continue
            if moment < 0 or moment > until:
                continue
            kind = line.split(" time=")[0]
            key = kind + " " + fields.get("member", "")
            kinds[key] = kinds.get(key, 0) + 1
            if kind == "signal":
                first, _ = first_last.get(key, (moment, moment))
                first_last[key] = (first, moment)
            slot = int(moment * 10)
            slices[slot] = slices.get(slot, 0) + 1
    log(f"  bus traffic in the {until:.3f} s: " + ", ".join(
        f"{k} {n}" for k, n in sorted(kinds.items(), key=lambda item: -item[1])[:12]))
    log("  messages a 100 ms: " + " ".join(f"{s / 10:.1f}:{slices[s]}" for s in sorted(slices)))
    log("  signals, first and last: " + ", ".join(
        f"{k.split()[-1]} {a:.3f}-{b:.3f}" for k, (a, b) in sorted(first_last.items(),
                                                               key=lambda item: item[1])))
    return first_last


def run_inside(bench, env, runs, bridge):
    bench_env = dict(env, QT_QPA_PLATFORM="xcb")
    if bridge:
        bench_env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    result = subprocess.run([bench, "3000", str(runs), "fake,emulator"], env=bench_env,
                            capture_output=True, text=True, timeout=1800)
    return result.stdout.strip() + ("\n" + result.stderr.strip() if result.returncode else "")


def main():
    parser = argparse.ArgumentParser(
        description="The personnel window's load, timed through the accessibility bus.")
    parser.add_argument(
        "build", nargs="?",
        default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build-bench"))
    parser.add_argument("--sizes", default="1500,3000")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--no-inside", action="store_true")
    parser.add_argument("--keep-logs", action="store_true")
    parser.add_argument("--wrap", default="")
    parser.add_argument("--events", default="object:,window:,focus:",
                        help="event kinds to listen to as a screen reader does "
                             "(comma-separated; 'none' for polling alone)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    sizes = [int(s) for s in args.sizes.split(",")]

    wait_for_build(build)
    scratch = tempfile.mkdtemp(prefix="miravel-a11y.", dir="/tmp")
    logs = os.path.join(scratch, "logs")
    os.mkdir(logs)
    try:
        programs = os.path.join(scratch, "programs")
        subprocess.run(["cmake", "--install", build, "--prefix", programs], check=True,
                       stdout=subprocess.DEVNULL)
        bench = os.path.join(build, "bench/ui/miravel_bench_personnel_window")
        if os.path.exists(bench) and not args.no_inside:
            shutil.copy2(bench, programs)
            bench = os.path.join(programs, os.path.basename(bench))
        else:
            bench = None
        env = start_x_and_buses(scratch)
        log(f"X server {env['DISPLAY']}, accessibility bus up; programs from {build}")
        bus = Bus(env)
        if args.events != "none":
            bus.listen(args.events.split(","))

        results = {}
        for persons in sizes:
            office = os.path.join(scratch, f"office-{persons}")
            lay_out_office(programs, office, persons, env)
            for run in range(args.runs):
                name = f"n{persons}-run{run + 1}"
                timings = measure_once(bus, programs, office, persons, env, args.wrap, logs, name)
                log(name + ": " + ", ".join(f"{k} {v:.3f}" for k, v in timings.items()))
                results.setdefault(persons, []).append(timings)

        def median(persons, key):
            values = [t[key] for t in results[persons] if key in t]
            return statistics.median(values) if values else float("nan")

        keys = ["press returned", "window activated (event)", "window on bus", "window showing",
                "progress shown", "first rows", "terminal list full", "store list full",
                "last progress (event)", "lists full",
                "longest poll", "longest row count", "events heard"]
        print(f"\nFrom the press of \"Personel İşlemleri\" (s, median of {args.runs} runs):")
        print(f"{'':26}" + "".join(f"{'N=' + str(p):>10}" for p in sizes))
        for key in keys:
            print(f"{key:26}" + "".join(f"{median(p, key):10.3f}" for p in sizes))
        if len(sizes) >= 2:
            small, big = sizes[0], sizes[-1]
            grows = median(big, "lists full") - median(small, "lists full")
            per_person = grows / (big - small)
            fixed = median(small, "lists full") - per_person * small
            print(f"growth N={small}->{big}: {grows:.3f} s ({per_person * 1000 * 1000:.0f} µs a "
                  f"person of each list); part that does not grow (extrapolated to N=0): "
                  f"{fixed:.3f} s, of it {median(small, 'window activated (event)'):.3f} s to the window "
                  f"(0.1 s of that Qt's animated click)")

        if bench:
            for bridge in (False, True):
                print(f"\nInside benchmark under the same X server, bridge "
                      f"{'on (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)' if bridge else 'off'}:")
                print(run_inside(bench, env, args.runs, bridge))
        if args.keep_logs:
            kept = tempfile.mkdtemp(prefix="miravel-a11y-logs.", dir="/tmp")
            shutil.copytree(logs, kept, dirs_exist_ok=True)
            print(f"\nlogs kept in {kept}")
    finally:
        stop_all()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
