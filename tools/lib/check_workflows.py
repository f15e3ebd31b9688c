"""Reads the GitHub workflows as GitHub would and checks what no one can run here: every job
has a runner and steps, every step one action or command, the scripts they call exist, and the
Windows workflow builds the kit on Debian 12, runs it on both Windows images and keeps the
report even when a test fails. Usage: check_workflows.py WORKFLOW.yml..."""

import os
import sys

import yaml


def check(path):
    with open(path, encoding="utf-8") as file:
        flow = yaml.safe_load(file)
    problems = []
    # YAML 1.1 reads the key "on" as true.
    if not isinstance(flow, dict) or not (flow.get("on") or flow.get(True)):
        return [f"{path}: no triggers"]
    jobs = flow.get("jobs") or {}
    for name, job in jobs.items():
        if "runs-on" not in job or not job.get("steps"):
            problems.append(f"{path}: job {name} has no runs-on or no steps")
        for step in job.get("steps", []):
            if ("uses" in step) == ("run" in step):
                problems.append(f"{path}: job {name}: a step needs one of uses and run: {step}")
            for word in str(step.get("run", "")).split():
                if word.startswith(("tools/", ".ci/")) and not os.path.exists(word):
                    problems.append(f"{path}: job {name} calls {word}, which does not exist")
    if os.path.basename(path) == "windows.yml":
        kit, run = jobs.get("kit", {}), jobs.get("run", {})
        if not str(kit.get("container", "")).startswith("debian:12"):
            problems.append(f"{path}: the kit is not built in a Debian 12 container")
        images = run.get("strategy", {}).get("matrix", {}).get("os", [])
        if sorted(images) != ["windows-2022", "windows-2025"]:
            problems.append(f"{path}: the kit runs on {images}")
        uploads = [s for s in run.get("steps", []) if "upload-artifact" in s.get("uses", "")]
        if not any("report.txt" in str(s.get("with", {}).get("path")) and
                   "always()" in str(s.get("if")) for s in uploads):
            problems.append(f"{path}: report.txt is not kept whatever the run's outcome")
    return problems


problems = [problem for path in sys.argv[1:] for problem in check(path)]
print("\n".join(problems) if problems else f"workflows: {len(sys.argv) - 1} read, no findings")
sys.exit(1 if problems else 0)
