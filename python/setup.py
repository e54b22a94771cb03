"""Builds the ombra package with CMake from the repository around this
folder: the core library, its plug-ins and the native module go inside the
package, which therefore needs no installed core."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
VERSION = re.search(r"project\(Ombra VERSION ([0-9.]+)",
                    (ROOT / "CMakeLists.txt").read_text()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        package = Path(self.get_ext_fullpath(ext.name)).resolve().parent
        generator = ["-G", "Ninja"] if shutil.which("ninja") else []
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), *generator,
                        "-DCMAKE_BUILD_TYPE=Release", "-DOMBRA_BUILD_TESTS=OFF",
                        "-DOMBRA_PYTHON_BUNDLE=ON", f"-DPython3_EXECUTABLE={sys.executable}"],
                       check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "ombra_python",
                        "ombra_plugins", "-j", str(os.cpu_count() or 1)], check=True)
        subprocess.run(["cmake", "--install", str(build), "--component", "python_bundle",
                        "--prefix", str(package.parent)], check=True)


setup(
    name="ombra",
    version=VERSION,
    description="Converts page-layout publications (Scribus, ...) to text, JSON, HTML and pandoc",
    packages=["ombra"],
    package_data={"ombra": ["*.pyi", "py.typed"]},
    ext_modules=[Extension("ombra._ombra", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.9",
    zip_safe=False,
)
