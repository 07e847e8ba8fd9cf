# Driven by interchange_test (and the guide's picture): Blender, headless, opens a
# ship exported as glTF, optionally moves the first gun and reshapes the hull as a
# modder would, and exports glTF again with its custom properties (the extras).
# With "scratch" it ignores IN and makes a new ship: a cube with a material.
#   blender -b --factory-startup --python blender_roundtrip.py -- IN.gltf OUT.gltf keep|edit|scratch [PICTURE.png]
import sys

import numpy

numpy.bool = bool  # Debian's numpy no longer has it; Blender 3.4's glTF add-on asks for it
import bpy
import mathutils

args = sys.argv[sys.argv.index("--") + 1:]
src, dst, mode = args[0], args[1], args[2]
bpy.ops.wm.read_factory_settings(use_empty=True)
if mode == "scratch":
    bpy.ops.mesh.primitive_cube_add(size=40.0, location=(0.0, 0.0, 10.0))
    cube = bpy.context.active_object
    cube.name = "Pod"
    cube.data.materials.append(bpy.data.materials.new("pod_skin"))
else:
    bpy.ops.import_scene.gltf(filepath=src)

if mode == "edit":
    gun = next(ob for ob in bpy.data.objects if ob.name.startswith("Gun:"))
    gun.location.x -= 6.0
    print("moved", gun.name)
    # Pull the nose of the hull forward: every vertex at the hull's foremost point
    # (its copies at texture seams too). glTF's +Z forward is Blender's -Y.
    hull = bpy.data.objects["Hull"]
    tip = min(v.co.y for v in hull.data.vertices)
    for v in hull.data.vertices:
        if abs(v.co.y - tip) < 1e-4:
            v.co.y -= 25.0
    print("reshaped", hull.name)

bpy.ops.export_scene.gltf(filepath=dst, export_format="GLTF_SEPARATE", export_extras=True)

if len(args) > 3:
    # A picture of the ship, after the export: each attachment and box node (an
    # empty, which renders as nothing) marked by a small ball.
    scene = bpy.context.scene
    for ob in list(bpy.data.objects):
        if ob.type == "EMPTY":
            bpy.ops.mesh.primitive_uv_sphere_add(radius=4.0, location=ob.matrix_world.translation)
    scene.render.engine = "BLENDER_WORKBENCH"
    scene.render.resolution_x, scene.render.resolution_y = 960, 600
    scene.display.shading.light = "STUDIO"
    scene.display.shading.color_type = "RANDOM"
    scene.display.shading.background_type = "VIEWPORT"
    scene.world = bpy.data.worlds.new("World")
    scene.world.color = (0.25, 0.27, 0.3)
    cam = bpy.data.objects.new("Camera", bpy.data.cameras.new("Camera"))
    scene.collection.objects.link(cam)
    cam.location = (250.0, -290.0, 210.0)
    cam.rotation_euler = (mathutils.Vector((0, 0, 0)) - cam.location).to_track_quat("-Z", "Y").to_euler()
    scene.camera = cam
    scene.render.filepath = args[3]
    bpy.ops.render.render(write_still=True)
