"""Ombra converts page-layout publications (Scribus documents, ...) into text,
JSON, HTML or pandoc documents, with the reader and writer plug-ins of the
Ombra core::

    import ombra
    text = ombra.convert("brochure.sla")                  # str
    html = ombra.convert(open("a.sla", "rb"), to="html")  # a file object
    tree = ombra.dump(data)                               # bytes; the Element tree
    ombra.convert("a.sla", wrap_lines_at_column=72)       # any setting by name

The plug-ins load once per process, on first use. A conversion releases the
GIL, so that threads convert at once, but conversions through the same
plug-in take turns: processes are what scale (``ombra.dask``).
"""
from __future__ import annotations

import errno
import json
import logging
import os
from typing import (Any, BinaryIO, Dict, Iterable, List, Mapping, NamedTuple, Optional,
                    Sequence, Tuple, Union)

from . import _ombra
from ._ombra import Note, PlugIn, Preference, Status

__version__: str = _ombra.__version__
__all__ = ["convert", "convert_with_notes", "dump", "metadata", "formats", "plugins",
           "use_plugins", "output_name", "Conversion", "Format", "Note", "PlugIn",
           "Preference", "Status", "Error", "UnsupportedFormat", "ConversionError",
           "OutOfMemory", "__version__"]

logger = logging.getLogger("ombra")

#: What convert() takes: a path, the bytes of a document, or a binary file.
Source = Union[str, "os.PathLike[str]", bytes, bytearray, memoryview, BinaryIO]
#: A setting's value: switches take True/False, numbers and texts as they are.
SettingValue = Union[bool, int, float, str]


class Error(Exception):
    """A conversion that did not happen; ``reason`` says why.

    ``status`` is an :class:`ombra.Status`, ``path`` the input's name,
    ``reader`` the reader that recognised it and ``notes`` what it found.
    """

    def __init__(self, reason: str, status: Optional[Status] = None, path: str = "",
                 reader: str = "", notes: Sequence[Note] = ()) -> None:
        super().__init__(f"{path}: {reason}" if path else reason)
        self.reason = reason
        self.status = status
        self.path = path
        self.reader = reader
        self.notes = list(notes)

    def __reduce__(self) -> Any:
        # To pickle what __init__ takes, so that it leaves a worker whole.
        return (type(self), (self.reason, self.status, self.path, self.reader, self.notes))


class UnsupportedFormat(Error):
    """No reader recognises the input."""


class ConversionError(Error):
    """A reader recognised the input but it could not be converted (it is
    damaged, a plug-in failed, or ``strict`` refused its notes)."""


class OutOfMemory(ConversionError, MemoryError):
    """Memory ran out during the conversion."""


class Conversion(NamedTuple):
    """A conversion that succeeded: its output (None when it went to a file),
    the notes of what was repaired, and the reader that read the input."""
    output: Union[str, bytes, None]
    notes: List[Note]
    reader: str


class Format(NamedTuple):
    """A format that a loaded plug-in reads or writes."""
    kind: str          # "reader" or "writer"
    plugin: str        # the plug-in's file
    format: str
    extensions: str    # ".sla .sla.gz"
    mime_type: str


_SHIPPED_WRITERS: Dict[str, Tuple[int, str]] = _ombra.shipped_writers()
# The formats written through pandoc: their extensions, and whether they are binary.
_PANDOC_FORMATS: Dict[str, Tuple[str, bool]] = _ombra.pandoc_formats()


def _many(paths: Iterable[Union[str, "os.PathLike[str]"]], what: str) -> List[str]:
    """A list of paths; one path is refused rather than taken letter by letter."""
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError(f"{what} takes a list of paths, not one {type(paths).__name__}")
    return [os.fsdecode(os.fspath(path)) for path in paths]


def use_plugins(readers: Iterable[str] = (), writers: Iterable[str] = (),
                shipped: bool = True) -> None:
    """Loads the reader and writer plug-ins under these folders (lists of
    them) as well as the shipped ones (only these with ``shipped=False``).
    Conversions in progress end first; the process keeps the plug-ins until
    the next call. A folder that does not exist raises FileNotFoundError."""
    folders = [_many(readers, "readers"), _many(writers, "writers")]
    for folder in folders[0] + folders[1]:
        if not os.path.isdir(folder):
            raise FileNotFoundError(errno.ENOENT, "the plug-in folder does not exist", folder)
    state = _ombra.use_plugins([os.fsencode(f) for f in folders[0]],
                               [os.fsencode(f) for f in folders[1]], shipped)
    if state.status != Status.converted:
        raise Error(state.reason, state.status, state.subject)


def _read(source: Source) -> Tuple[Union[str, bytes], str]:
    if isinstance(source, (str, os.PathLike)):
        path = os.fsdecode(os.fspath(source))
        return path, path
    if isinstance(source, bytes):
        return source, "<bytes>"
    if isinstance(source, (bytearray, memoryview)):
        return bytes(source), "<bytes>"
    if hasattr(source, "read"):
        data = source.read()
        if not isinstance(data, (bytes, bytearray)):
            raise TypeError("ombra reads files opened in binary mode ('rb')")
        return bytes(data), str(getattr(source, "name", "<stream>"))
    raise TypeError(f"ombra converts a path, bytes or a binary file, not {type(source).__name__}")


def _text(value: SettingValue) -> str:
    if isinstance(value, bool):
        return "on" if value else "off"
    return str(value)


def _settings(settings: Union[Mapping[str, SettingValue],
                              Iterable[Tuple[str, SettingValue]], None],
              preferences: Mapping[str, SettingValue]) -> List[Tuple[str, str]]:
    pairs: List[Tuple[str, str]] = []
    if settings:
        items = settings.items() if isinstance(settings, Mapping) else settings
        pairs += [(str(name), _text(value)) for name, value in items]
    return pairs + [(name, _text(value)) for name, value in preferences.items()]


def _options(to: Union[str, int], encoding: Optional[str], eol: str, strict: bool,
             locale: str, pairs: List[Tuple[str, str]]) -> Any:
    return _ombra.options(str(to), encoding or "", eol, pairs, locale, strict)


def _shipped(to: Union[str, int]) -> Optional[str]:
    """The shipped writer that to names, by name in any letter case or by id."""
    name = str(to).lower()
    shipped = {str(entry[0]): writer for writer, entry in _SHIPPED_WRITERS.items()}
    return name if name in _SHIPPED_WRITERS else shipped.get(name)


def _is_text(to: Union[str, int], encoding: Optional[str], pairs: List[Tuple[str, str]]) -> bool:
    writer = _shipped(to)
    if writer is None:
        return False
    if writer != "text":
        return True
    # The text writer's own setting, the last one given, overrides encoding;
    # the core reads an entry of a list of choices as it reads a name.
    for setting, value in reversed(pairs):
        if _ombra.setting_name_matches("Text encoding", setting):
            return _ombra.setting_name_matches("Unicode UTF8", value)
    return (encoding or "utf8").lower().replace("-", "") == "utf8"


def _check(result: Any, name: str) -> None:
    status = result.status
    if status == Status.converted:
        return
    path = result.subject or name
    if status == Status.input_missing:
        raise FileNotFoundError(errno.ENOENT, result.reason, path)
    if status in (Status.input_unreadable, Status.output_failed, Status.output_is_input):
        raise OSError(result.system_error or errno.EIO, result.reason, path)
    if status in (Status.no_writer, Status.bad_setting):
        raise ValueError(result.reason)
    kind = {Status.not_recognised: UnsupportedFormat, Status.out_of_memory: OutOfMemory,
            Status.unreadable: ConversionError, Status.failed: ConversionError,
            Status.notes: ConversionError,
            Status.pandoc_failed: ConversionError}.get(status, Error)
    raise kind(result.reason, status, name, result.reader, result.notes)


def _writer_for(output: Optional[str]) -> str:
    """The shipped writer or the format through pandoc that the extension of
    output names, as the ``ombra`` program chooses one without ``-t``; text
    for any other."""
    extension = os.path.splitext(output or "")[1][1:].lower()
    for writer, entry in _SHIPPED_WRITERS.items():
        if extension and entry[1] == extension:
            return writer
    for name, (format_extension, _) in _PANDOC_FORMATS.items():
        if extension and format_extension == extension:
            return name
    return "text"


def _pandoc(to: Union[str, int]) -> Optional[str]:
    """The format written through pandoc that to names, unless a writer has
    that name."""
    name = str(to).lower()
    return name if _shipped(to) is None and name in _PANDOC_FORMATS else None


def convert_with_notes(source: Source, to: Union[str, int, None] = None, *,
                       output: Union[str, "os.PathLike[str]", None] = None,
                       encoding: Optional[str] = None, eol: str = "native",
                       strict: bool = False, locale: str = "en",
                       settings: Union[Mapping[str, SettingValue],
                                       Iterable[Tuple[str, SettingValue]], None] = None,
                       isolated: bool = False, timeout: Optional[float] = None,
                       **preferences: SettingValue) -> Conversion:
    """Converts like :func:`convert` and also returns the notes and the reader.

    With ``output``, the output goes to that path instead, written whole (a
    failed conversion leaves no file), and ``Conversion.output`` is None; an
    HTML page or a pandoc document links the pictures in its folder relative
    to itself. Without ``to``, the writer or the format through pandoc is the
    one the extension of ``output`` names (``.html``, ``.json``, ``.txt``,
    ``.docx``, ``.md``, ...; the first of the formats with that extension),
    else text.

    With ``isolated``, a helper process forked from this one converts (each
    thread has its own, forked once and kept for the next conversion): a
    plug-in that crashes, or takes longer than ``timeout`` seconds, costs the
    helper and raises :class:`ConversionError` ("crashed with signal 11
    (SIGSEGV)", "timed out after 60 s"); Ctrl-C stops the helper at once and
    raises ``KeyboardInterrupt``, as it stops a format's pandoc run, isolated
    or not. Threads that convert isolated run at once. A ``timeout`` (seconds above 0, fractions too; None for no
    limit) implies ``isolated``: only a helper can be stopped. It covers a
    format's pandoc run too, which is stopped when the time is up.
    """
    if timeout is not None:
        if not timeout > 0:
            raise ValueError(f"timeout takes seconds above 0 or None, not {timeout!r}")
        isolated = True
    if isinstance(settings, (str, bytes)):
        raise TypeError("settings takes a mapping or (name, value) pairs, not one "
                        f"{type(settings).__name__}")
    data, name = _read(source)
    target = None if output is None else os.fsdecode(os.fspath(output))
    if target == "":
        raise ValueError("output names no file")
    if to is None:
        to = _writer_for(target)
    if encoding is not None and _shipped(to) != "text":
        raise ValueError(f"encoding is a setting of the text writer, not of {to!r}")
    pairs = _settings(settings, preferences)
    pandoc = _pandoc(to)
    options = _options("pandoc" if pandoc else to, encoding, eol, strict, locale, pairs)
    if isolated:
        conversion = _ombra.convert_isolated(data, name, target, options, float(timeout or 0),
                                             pandoc or "")
    else:
        conversion = _ombra.convert(data, name, target, options, pandoc or "")
    result = conversion.result
    _check(result, name)
    for note in result.notes:
        logger.info("%s: note: %s", name, note)
    out: Union[str, bytes, None] = None
    if output is None:
        out = conversion.output
        if (not _PANDOC_FORMATS[pandoc][1]) if pandoc else _is_text(to, encoding, pairs):
            out = out.decode("utf-8")
    return Conversion(out, list(result.notes), result.reader)


def convert(source: Source, to: Union[str, int] = "text", *, encoding: Optional[str] = None,
            eol: str = "native", strict: bool = False, locale: str = "en",
            settings: Union[Mapping[str, SettingValue],
                            Iterable[Tuple[str, SettingValue]], None] = None,
            isolated: bool = False, timeout: Optional[float] = None,
            **preferences: SettingValue) -> Union[str, bytes]:
    """Converts a publication and returns the output.

    ``source`` is a path, the bytes of a document or a file opened in binary
    mode; the reader is chosen by the content. ``to`` names a writer
    (``"text"``, ``"json"``, ``"html"``, ``"pandoc"``, or any loaded writer's
    id) or a format that pandoc (on the PATH) writes from the pandoc writer's
    document, as the ``ombra`` program's ``-t`` does (``"docx"``,
    ``"markdown"``, ``"epub"``, ``"latex"``, ...; pandoc's warnings become
    notes). The result is ``str`` for the shipped writers in UTF-8 and the
    text formats through pandoc, and ``bytes`` for the packages (docx, odt,
    epub, pptx), other encodings (``encoding="utf16"``, ``"cp1252"``, ``"shift_jis"``,
    ..., or the text writer's own ``text_encoding`` setting, which overrides
    ``encoding``) and other writers.

    ``eol`` ends the text writer's lines (native, lf, crlf, cr, platform);
    ``strict`` refuses a conversion with notes; ``locale`` ("en", "ja") is the
    language of the notes. Every other keyword sets a reader's or writer's
    preference by its name as ``ombra.plugins()`` lists it, letter case,
    spaces, hyphens and underscores aside (``wrap_lines_at_column=72``,
    ``include_hidden_layers=False``); ``settings`` takes names that are no
    Python identifiers. ``isolated`` runs the conversion in a helper process
    and ``timeout`` (seconds) does too, stopping it when it takes longer
    (:func:`convert_with_notes`).

    Raises FileNotFoundError or OSError for an input that cannot be read,
    :class:`UnsupportedFormat` when no reader recognises it,
    :class:`ConversionError` (with the notes) when it cannot be converted,
    :class:`OutOfMemory`, and ValueError for an unknown writer or setting.
    """
    return convert_with_notes(source, to, encoding=encoding, eol=eol, strict=strict,
                              locale=locale, settings=settings, isolated=isolated,
                              timeout=timeout, **preferences).output


def dump(source: Source, **preferences: SettingValue) -> Dict[str, Any]:
    """The Elements a reader makes of a document, as Python objects:
    ``{"format": "ombra-dump", "version": 2, "elements": [...]}``
    (docs/dump.schema.json). Preferences are taken as :func:`convert` takes
    them (``indentation=0``, ``story_text=False``)."""
    return json.loads(convert(source, "json", **preferences))


def metadata(source: Source) -> Dict[str, Any]:
    """What a publication says about itself: title, author, subject,
    keywords, comments, application, created, modified (ISO 8601) and pages;
    None where the reader found nothing."""
    data, name = _read(source)
    result, text = _ombra.metadata(data, name, _options("text", None, "native", False, "en",
                                                        []))
    _check(result, name)
    return json.loads(text)


def plugins(locale: str = "en") -> List[PlugIn]:
    """Every plug-in found, readers first, with its preferences (display names
    in ``locale``) and formats; ``loaded`` and ``error`` say whether it works."""
    return _ombra.plugins(locale)


def formats() -> List[Format]:
    """The formats the loaded readers read and the loaded writers write."""
    return [Format("reader" if p.reader else "writer", os.path.basename(p.path), f.format,
                   f.extensions, f.mime_type)
            for p in plugins() if p.loaded for f in p.formats]


def output_name(path: Union[str, "os.PathLike[str]"], to: Union[str, int] = "text") -> str:
    """The file name the ``ombra`` program gives the output of path:
    ``a.sla`` and ``a.sla.gz`` give ``a.txt`` (``a.html`` with ``to="html"``)."""
    name = os.path.basename(os.fsdecode(os.fspath(path)))
    if name.endswith(".gz") and "." in name[:-3]:
        name = name[:-3]
    stem = name.rsplit(".", 1)[0] if "." in name.lstrip(".") else name
    by_id = {str(entry[0]): entry for entry in _SHIPPED_WRITERS.values()}
    entry = _SHIPPED_WRITERS.get(str(to).lower()) or by_id.get(str(to))
    extension = entry[1] if entry else _PANDOC_FORMATS.get(str(to).lower(), ("out",))[0]
    return f"{stem}.{extension}"
