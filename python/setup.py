"""Builds the extension module tolvimo_wav._core: its own source, compiled
here, linked with the library's static core (libtolvimo_static.a).

The core is the one CMake builds from the tree around python/: in a folder
of the build's own, or taken ready-made from the file that
TOLVIMO_CORE_LIBRARY names (a build folder's libtolvimo_static.a of the same
tree, as the project's tests and the Debian package do). Either way the
core is linked into the module, so the installed package needs no shared
library of the project.
"""
import os
import pathlib
import subprocess

import pybind11
from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
CORE_VARIABLE = "TOLVIMO_CORE_LIBRARY"


class BuildWithCore(build_ext):
    def build_extension(self, ext: Extension) -> None:
        core = str(self.core_library())
        ext.extra_objects = [core]
        # setuptools relinks a module only when a source or a dependency is
        # newer than it, and extra_objects are neither: the core is made a
        # dependency, so a changed core gives a module linked anew.
        ext.depends = [*ext.depends, core]
        super().build_extension(ext)

    def core_library(self) -> pathlib.Path:
        given = os.environ.get(CORE_VARIABLE)
        if given:
            return pathlib.Path(given)
        if not (ROOT / "CMakeLists.txt").is_file():
            raise RuntimeError(
                f"the library's sources are not beside {HERE}: build from the project's tree "
                f"(pip install ./python), or set {CORE_VARIABLE} to a built libtolvimo_static.a")
        folder = pathlib.Path(self.build_temp).resolve() / "core"
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(folder), "-DCMAKE_BUILD_TYPE=Release",
                        "-DTOLVIMO_BUILD_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", str(folder), "--target", "tolvimo_static",
                        "--parallel", str(os.cpu_count() or 1)], check=True,
                       stdout=subprocess.DEVNULL)
        return folder / "libtolvimo_static.a"


setup(
    ext_modules=[
        Extension(
            "tolvimo_wav._core",
            sources=["extension/core_module.cpp"],
            # The public header only: the extension calls the library as any host does.
            include_dirs=[str(ROOT / "include"), pybind11.get_include()],
            define_macros=[("TOLVIMO_WAV_INSTRUMENTS_STATIC", None)],
            # The tree's folder mapped to ".", so the module's debug information
            # is the same wherever the tree is.
            extra_compile_args=["-std=c++20", "-fvisibility=hidden", "-ffp-contract=off",
                                f"-ffile-prefix-map={ROOT}=."],
            language="c++",
        )
    ],
    cmdclass={"build_ext": BuildWithCore},
)
