"""A copy of tools/ to run with some of the programs it calls replaced.

The scripts under test run from the copy, so stand-ins put into its tools/
(or onto a PATH folder beside it) change nothing in the checkout."""
import os
import shutil
import textwrap

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")


def copy_tools(top, scripts):
    """tools/ copied into `top`, then each {path under top: sh body} written
    there as an executable script."""
    shutil.copytree(TOOLS, os.path.join(top, "tools"))
    for name, body in scripts.items():
        path = os.path.join(top, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write("#!/bin/sh\n" + textwrap.dedent(body))
        os.chmod(path, 0o755)
