"""Builds the scene of scene_description.py in Blender and saves it with
Blender's own exporters: rigid.gltf (with its .bin and pictures) and
rigid.fbx, then the skinned variant as skinned.gltf and skinned.fbx.

    blender -b --factory-startup --python make_blender_scenes.py -- OUT_DIR
"""
import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scene_description as sd  # noqa: E402

out = os.path.abspath(sys.argv[sys.argv.index("--") + 1])
os.makedirs(out, exist_ok=True)


def empty_scene():
    bpy.ops.wm.read_factory_settings(use_empty=True)
    bpy.context.scene.unit_settings.system = 'METRIC'
    bpy.context.scene.unit_settings.scale_length = 1.0


def link(ob):
    bpy.context.scene.collection.objects.link(ob)
    return ob


def make_materials():
    made = []
    for m in sd.MATERIALS:
        image = bpy.data.images.new(m["texture"], 8, 8)
        r, g, b = m["colour"]
        image.pixels[:] = [r, g, b, 1.0] * 64
        image.filepath_raw = os.path.join(out, m["texture"])
        image.file_format = 'PNG'
        image.save()
        mat = bpy.data.materials.new(m["name"])
        mat.use_nodes = True
        nodes = mat.node_tree.nodes
        tex = nodes.new("ShaderNodeTexImage")
        tex.image = image
        mat.node_tree.links.new(tex.outputs["Color"], nodes["Principled BSDF"].inputs["Base Color"])
        made.append(mat)
    return made


def make_mesh(name, geometry, material):
    verts, faces, uvs = geometry
    me = bpy.data.meshes.new(name)
    me.from_pydata(verts, [], faces)
    layer = me.uv_layers.new(name="UVMap")
    for poly, corner_uvs in zip(me.polygons, uvs):
        for loop, uv in zip(poly.loop_indices, corner_uvs):
            layer.data[loop].uv = uv
    me.materials.append(material)
    me.update()
    return link(bpy.data.objects.new(name, me))


def export(stem):
    bpy.ops.export_scene.gltf(filepath=os.path.join(out, stem + ".gltf"), export_format='GLTF_SEPARATE',
                              export_lights=True, export_apply=False)
    bpy.ops.export_scene.fbx(filepath=os.path.join(out, stem + ".fbx"), path_mode='STRIP',
                             object_types={'MESH', 'EMPTY', 'LIGHT', 'ARMATURE'}, add_leaf_bones=False,
                             bake_anim=False)


# The rigid scene.
empty_scene()
materials = make_materials()
for name, geometry, material in sd.MESHES:
    make_mesh(name, geometry, materials[material])
for name, position in sd.HELPERS:
    link(bpy.data.objects.new(name, None)).location = position
for name, position, colour in sd.LIGHTS:
    light = bpy.data.lights.new(name, 'POINT')
    light.color = colour
    link(bpy.data.objects.new(name, light)).location = position
export("rigid")

# The skinned scene: an armature and a body bound to it by weights.
empty_scene()
materials = make_materials()
armature = bpy.data.armatures.new("Bip01")
rig = link(bpy.data.objects.new("Bip01", armature))
bpy.context.view_layer.objects.active = rig
bpy.ops.object.mode_set(mode='EDIT')
for name, head, tail, parent in sd.BONES:
    bone = armature.edit_bones.new(name)
    bone.head, bone.tail = head, tail
    if parent:
        bone.parent = armature.edit_bones[parent]
bpy.ops.object.mode_set(mode='OBJECT')
name, geometry, material = sd.SKINNED_BODY
body = make_mesh(name, geometry, materials[material])
for bone_name, _, _, _ in sd.BONES:
    body.vertex_groups.new(name=bone_name)
for index, weights in enumerate(sd.body_weights(geometry[0])):
    for bone_name, weight in weights:
        body.vertex_groups[bone_name].add([index], weight, 'REPLACE')
body.parent = rig
body.modifiers.new("Armature", 'ARMATURE').object = rig
export("skinned")
print("made", sorted(os.listdir(out)))
