#!/usr/bin/env python3
"""Snakemake 7's --cluster-status for Slurm: prints running, success or failed.

Given the job id that `sbatch --parsable` printed, asks sacct for the job's
state. A job Slurm ended for memory or time counts as failed, so Snakemake
submits it again (restart-times) with the larger resources of the next
attempt.
"""

import subprocess
import sys
import time

job = sys.argv[1].split(";")[0]
RUNNING = {"PENDING", "RUNNING", "CONFIGURING", "COMPLETING", "REQUEUED", "RESIZING", "SUSPENDED", "SIGNALING",
           "STAGE_OUT"}

state = ""
for attempt in range(5):
    try:
        out = subprocess.run(["sacct", "-j", job, "--format=State", "--noheader", "--parsable2", "-X"],
                             capture_output=True, text=True, check=True).stdout
        state = out.strip().split("\n")[0].split(" ")[0] if out.strip() else ""
    except (subprocess.CalledProcessError, FileNotFoundError):
        state = ""
    if state:
        break
    time.sleep(2 ** attempt)  # sacct may not know a job submitted a moment ago

if state == "COMPLETED":
    print("success")
elif state in RUNNING or not state:
    print("running")
else:
    print("failed")
