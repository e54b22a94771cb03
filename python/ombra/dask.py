"""Converting a corpus on a Dask cluster::

    from ombra.dask import convert_files
    table = convert_files(glob.glob("archive/**/*.sla", recursive=True), outdir="text")
    print(table[table.status == "failed"])

Each file is one task of ``client.map``. Conversions through one plug-in take
turns inside a process, so workers should be processes with one thread each
(a cluster that convert_files makes itself is).

Each conversion runs in a helper process forked once from its worker
(``isolated``, the default), with the plug-ins the worker loaded: a file
that crashes a plug-in or passes ``timeout`` is reported as failed with the
reason ("crashed with signal 11 (SIGSEGV)") and the worker goes on. Without
isolation a crash takes the worker with it; the scheduler then starts the
task again on another worker, and when it has taken more workers than
``distributed.scheduler.allowed-failures`` says (1 on the clusters that
convert_files makes: the task is retried once), the file is tried again
alone, since the files queued on that worker failed with it, and is
reported failed when it kills its worker again; the rest go on.
"""
from __future__ import annotations

import os
import time
from typing import Any, Dict, Iterable, List, Optional, Sequence, Union

import dask
import pandas
from distributed import Client, LocalCluster, as_completed
from distributed.scheduler import KilledWorker

import ombra

_KILLED = "its worker process died, also when tried again"

#: The columns of the table convert_files returns.
COLUMNS = ["path", "output", "status", "reason", "notes", "seconds"]


def _convert_one(path: str, output: Optional[str], to: str, readers: Sequence[str],
                 writers: Sequence[str], isolated: bool, timeout: float,
                 options: Dict[str, Any]) -> Dict[str, Any]:
    """One row of the table; runs in a worker process."""
    start = time.perf_counter()
    row: Dict[str, Any] = {"path": path, "output": output, "status": "converted", "reason": "",
                           "notes": []}
    try:
        ombra.use_plugins(readers, writers)  # loads nothing when they are loaded already
        conversion = ombra.convert_with_notes(path, to, output=output, isolated=isolated,
                                              timeout=timeout or None if isolated else None,
                                              **options)
        row["notes"] = [str(note) for note in conversion.notes]
        if output is None:
            row["output"] = conversion.output
    except Exception as error:  # whatever it is, it costs this file's row only
        reason = str(getattr(error, "reason", error))
        if not isinstance(error, (ombra.Error, OSError, ValueError)):
            reason = f"{type(error).__name__}: {reason}"
        row.update(status="failed", output=None, reason=reason,
                   notes=[str(note) for note in getattr(error, "notes", [])])
    row["seconds"] = time.perf_counter() - start
    return row


def _failed(path: str, reason: str) -> Dict[str, Any]:
    return {"path": path, "output": None, "status": "failed", "reason": reason, "notes": [],
            "seconds": float("nan")}


def _row(future: Any, path: str) -> Dict[str, Any]:
    try:
        return future.result()
    except KilledWorker:
        return _failed(path, _KILLED)
    except Exception as error:  # the task's own failure, not the file's
        return _failed(path, f"{type(error).__name__}: {error}")
    finally:
        future.release()


def _convert_all(client: Client, paths: List[str], outputs: List[Optional[str]],
                 arguments: Dict[str, Any]) -> List[Dict[str, Any]]:
    futures = client.map(_convert_one, paths, outputs, pure=False, **arguments)
    # Results leave the workers as they come, so that a worker lost later
    # takes none with it.
    position = {future.key: n for n, future in enumerate(futures)}
    rows: List[Dict[str, Any]] = [{} for _ in paths]
    for future in as_completed(futures):
        n = position[future.key]
        rows[n] = _row(future, paths[n])
    # A worker that died took the files queued on it too: each is tried
    # again alone, so that only the one that kills its worker fails.
    for n, row in enumerate(rows):
        if row["reason"] == _KILLED:
            rows[n] = _row(client.submit(_convert_one, paths[n], outputs[n], pure=False,
                                         **arguments), paths[n])
    return rows


def _kept_folder(path: str) -> str:
    """The folder below outdir of path's output with keep_folders, as the
    ``ombra`` program's --keep-folders puts it."""
    folder = ombra._ombra.kept_folder(path)
    if folder is None:
        raise ValueError(f"keep_folders takes paths below the working folder, or absolute "
                         f"ones, not {path!r}")
    return folder


def _outputs(paths: Sequence[str], outdir: Optional[str], to: str,
             keep_folders: bool) -> List[Optional[str]]:
    if outdir is None:
        return [None] * len(paths)
    outputs = [os.path.join(outdir, _kept_folder(path) if keep_folders else "",
                            ombra.output_name(path, to)) for path in paths]
    seen: Dict[str, str] = {}
    for path, output in zip(paths, outputs):
        if output in seen:
            raise ValueError(f"{seen[output]} and {path} would both write {output}")
        seen[output] = path
    for folder in {os.path.dirname(output) for output in outputs} | {outdir}:
        os.makedirs(folder, exist_ok=True)
    return outputs


def convert_files(paths: Iterable[Union[str, "os.PathLike[str]"]], outdir: Optional[str] = None,
                  to: str = "text", client: Optional[Client] = None, *,
                  readers: Sequence[str] = (), writers: Sequence[str] = (),
                  isolated: bool = True, timeout: float = 600, keep_folders: bool = False,
                  **options: Any) -> pandas.DataFrame:
    """Converts every file on a Dask cluster and returns one row per file, in
    the order given: ``path``, ``output`` (the output's path with ``outdir``,
    else the converted text or bytes), ``status`` ("converted" or "failed"),
    ``reason``, ``notes`` (a list of str) and ``seconds`` (the conversion's
    time in its worker).

    With ``outdir``, outputs are named as the ``ombra`` program names them
    (``a.sla.gz`` gives ``a.txt``) and written whole; two inputs that would
    write one file are refused with ValueError before anything runs, unless
    ``keep_folders`` puts each output below ``outdir`` as its input lies
    (``a/doc.sla`` gives ``outdir/a/doc.txt``), as the program's
    ``--keep-folders`` does.
    ``client`` is the cluster to use; without one, convert_files starts a
    ``LocalCluster`` of one single-threaded worker process per core and
    closes it at the end. ``readers`` and ``writers`` are plug-in folders the
    workers load besides the shipped plug-ins. ``isolated`` and ``timeout``
    (seconds, of isolated conversions; 0 for no limit) are described above;
    every other keyword is an option of :func:`ombra.convert`.
    """
    paths = ombra._many(paths, "convert_files")
    outputs = _outputs(paths, outdir, to, keep_folders)
    own = client is None
    cluster = None
    if own:
        with dask.config.set({"distributed.scheduler.allowed-failures": 1}):
            cluster = LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1,
                                   processes=True, dashboard_address=None)
            client = Client(cluster)
    arguments = dict(to=to, readers=ombra._many(readers, "readers"),
                     writers=ombra._many(writers, "writers"), isolated=isolated,
                     timeout=timeout, options=options)
    try:
        rows = _convert_all(client, paths, outputs, arguments)
    finally:
        if own:
            client.close()
            cluster.close()
    return pandas.DataFrame(rows, columns=COLUMNS)
