"""Starting the programs under test and ending them by their PID, never by name."""
import os
import signal
import subprocess


def start(command, cwd=None, env=None, stdout=subprocess.PIPE, stderr=subprocess.PIPE):
    """Starts a program in its own session, so stop() can end it and anything it started by its PID."""
    return subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                            start_new_session=True)


def stop(proc, timeout=10):
    """Ends the process group the program leads (its PID) unless it has ended; returns the exit code."""
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
    for stream in (proc.stdout, proc.stderr):
        if stream is not None:
            stream.close()
    return proc.returncode


def peak_memory_kib(pid):
    """The process's peak resident memory so far (VmHWM), in KiB, or None once it has ended."""
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except (FileNotFoundError, ProcessLookupError):
        pass
    return None
