"""Typing stubs of the native half of the ombra package (python/src/module.cpp)."""
import enum
from typing import Dict, List, Optional, Tuple, Union

__version__: str

class Status(enum.Enum):
    converted: int
    input_missing: int
    input_unreadable: int
    not_recognised: int
    unreadable: int
    failed: int
    out_of_memory: int
    output_failed: int
    output_is_input: int
    no_writer: int
    bad_setting: int
    no_memory_service: int
    no_plugins: int
    notes: int

class Note:
    """A note of the conversion log: what a reader repaired."""
    text: str
    details: List[str]
    omitted_details: int
    id: int

class Result:
    status: Status
    reason: str
    subject: str
    system_error: int
    reader: str
    writer_id: int
    notes: List[Note]

class Conversion:
    result: Result
    output: bytes

class Options: ...

class Preference:
    """A setting of a plug-in."""
    name: str
    local_name: str
    kind: str
    default: str
    accepts: str
    choices: List[str]
    depth: int

class FormatInfo:
    format: str
    extensions: str
    mime_type: str

class PlugIn:
    """A reader or writer plug-in found in the folders."""
    reader: bool
    id: int
    name: str
    path: str
    loaded: bool
    error: str
    preferences: List[Preference]
    formats: List[FormatInfo]
    version: str

def use_plugins(readers: List[str], writers: List[str], shipped: bool) -> Result: ...
def options(writer: str, encoding: str, eol: str, settings: List[Tuple[str, str]],
            locale: str, strict: bool) -> Options: ...
def convert(source: Union[str, bytes], name: str, output: Optional[str],
            options: Options, pandoc: str = ...) -> Conversion: ...
def convert_isolated(source: Union[str, bytes], name: str, output: Optional[str],
                     options: Options, timeout: float, pandoc: str = ...) -> Conversion: ...
def metadata(source: Union[str, bytes], name: str, options: Options) -> Tuple[Result, str]: ...
def plugins(locale: str) -> List[PlugIn]: ...
def state() -> Result: ...
def shipped_writers() -> Dict[str, Tuple[int, str]]: ...
def pandoc_formats() -> Dict[str, Tuple[str, bool]]: ...
def kept_folder(path: Union[str, bytes]) -> Optional[str]: ...
def setting_name_matches(display: str, name: str) -> bool: ...
