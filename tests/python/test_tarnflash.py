# SPDX-License-Identifier: Apache-2.0
import json
import os
import signal

import pytest
import tarnflash

IMAGE = bytes((i * 7 + (i >> 8)) & 0xFF for i in range(8192))


def session(board, cable="parport", **kw):
    return tarnflash.open(cable, board=board, cpu="KTR5200", flash="S29GL064M", width=16, chips=1, **kw)


@pytest.mark.parametrize("cable", ["parport", "ftdi"])
def test_round_trip(cable):
    board = tarnflash.VirtualBoard(cpu="KTR5200", flash="S29GL064M")
    with session(board, cable) as job:
        assert job.program(IMAGE, start=0x10000).ok
        assert job.read(0x10000, len(IMAGE)) == IMAGE
        assert job.verify(IMAGE, start=0x10000).ok
        changed = job.verify(IMAGE[:100] + b"\x00" + IMAGE[101:], start=0x10000)
        assert job.program(IMAGE, start=0x10000, update=True).report["update"] == {
            "unchanged": 1, "programmed_over": 0, "erased": 0}
    assert (changed.ok, changed.status, changed.address) == (False, "failed", 0x10064)
    assert board.contents()[0x10000:0x12000] == IMAGE


@pytest.mark.parametrize("board_kw, cause", [
    ({"protect": [3]}, "Block 3 at 0x00006000 is protected or locked"),
    ({"flash": "S29AL008D"}, None),
])
def test_refused_job_raises_with_its_cause(board_kw, cause):
    board = tarnflash.VirtualBoard(**{"flash": "S29GL064M", **board_kw})
    with pytest.raises(tarnflash.JobRefused) as refused:
        session(board).program(IMAGE, start=0x6000)
    assert refused.value.status == "refused"
    assert refused.value.cause == refused.value.report["outcome"]["message"]
    if cause:
        assert refused.value.cause == cause
    assert board.contents() == b"\xff" * len(board.contents())


def test_fault_is_a_failed_result_with_its_address():
    board = tarnflash.VirtualBoard(flash="S29GL064M", faults=["stuck-bit:0x100:3"])
    result = session(board).program(IMAGE)
    assert (result.ok, result.status, result.address, result.expected, result.actual) == (False, "failed", 0x100,
                                                                                         0x801, 0x809)
    assert result.message == "0x00000100 reads 0x809 where 0x801 was wanted"
    assert json.loads(json.dumps(result.report))["outcome"]["status"] == "mismatch"


def test_progress_in_order_and_stop_from_callback():
    seen = []
    job = session(tarnflash.VirtualBoard(flash="S29GL064M"), progress=lambda *p: seen.append(p))
    assert job.program(IMAGE).ok
    assert [s for s, _, _ in seen] == ["program"] * len(seen) and len(seen) > 2
    assert [d for _, d, _ in seen] == sorted(d for _, d, _ in seen) and seen[-1][1:] == (len(IMAGE), len(IMAGE))
    stopped = session(tarnflash.VirtualBoard(flash="S29GL064M"), progress=lambda s, d, t: d > 0).program(IMAGE)
    assert (stopped.ok, stopped.status) == (False, "cancelled")
    assert stopped.message.startswith("Stopped by the stop key at ")
    job = session(tarnflash.VirtualBoard(flash="S29GL064M"), progress=lambda s, d, t: d > 0 and job.stop())
    assert job.program(IMAGE).status == "cancelled"


@pytest.mark.parametrize("callback, error, text", [
    (lambda job: 1 / 0, ZeroDivisionError, "division by zero"),
    (lambda job: job.close(), RuntimeError, "^a job is running on this session$"),
])
def test_an_exception_in_the_callback_stops_the_job_and_is_raised(callback, error, text):
    board = tarnflash.VirtualBoard(flash="S29GL064M")
    job = session(board, progress=lambda *p: callback(job))
    with pytest.raises(error, match=text):
        job.program(IMAGE)
    assert board.contents()[len(IMAGE) - 2:len(IMAGE)] == b"\xff\xff"


def test_interrupt_stops_the_job_and_python_keeps_its_handler():
    job = session(tarnflash.VirtualBoard(flash="S29GL064M"), progress=lambda *p: os.kill(os.getpid(), signal.SIGINT))
    with pytest.raises(KeyboardInterrupt):
        job.program(IMAGE)
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler


def test_detect_and_erase():
    board = tarnflash.VirtualBoard(flash="S29GL064M", flash_in=b"\x00" * 0x4000)
    with session(board) as job:
        assert job.detect() == {"model": "S29GL064M", "bus_width": 16, "chips": 1, "maker_id": "0x0001",
                                "device_id": "0x227E", "size": 0x800000}
        assert job.erase(0x2000, 0x2000).ok
        assert board.contents()[:0x4000] == b"\x00" * 0x2000 + b"\xff" * 0x2000
        assert job.erase(0, "all").ok
    assert board.contents() == b"\xff" * 0x800000
    with pytest.raises(RuntimeError, match="^the session is closed$"):
        job.erase(0, 2)


@pytest.mark.parametrize("make, error, text", [
    (lambda: tarnflash.VirtualBoard(cpu="KTR9"), ValueError, r"unknown CPU 'KTR9' \(KTR5200, ULN, PAXON, MIRTA\)$"),
    (lambda: tarnflash.VirtualBoard(flash="EN29LV040A").load(b"\x00" * 0x80001), ValueError,
     "^the contents are larger than the flash$"),
    (lambda: tarnflash.open(board=object()), TypeError, "^board must be a tarnflash.VirtualBoard$"),
    (lambda: tarnflash.open("jlink", board=tarnflash.VirtualBoard(), serial="42"), tarnflash.CableError,
     "^no J-Link with serial 42 found$"),
    (lambda: tarnflash.open("usb"), ValueError, r"^unknown cable 'usb' \(parport, "),
])
def test_refused_arguments(make, error, text):
    with pytest.raises(error, match=text):
        make()
